-- A line's rows are checked against the depot's code once per statement,
-- not once per row: kalvor_depot() reads depot_stamp with a query of its
-- own, and as a policy's bare call it ran for every row a sync inserts (a
-- quarter of the database's work of a first sync). As a subquery it is
-- evaluated once per statement, with the same check. The sync likewise
-- gives its rows the code through one subquery rather than through the
-- column's default, which runs per row too. The railway's centre has
-- these policies dropped (central.sql); there is nothing to change there.
DO $$
BEGIN
  IF EXISTS (SELECT FROM pg_policy WHERE polname = 'measurements_own_depot') THEN
    ALTER POLICY measurements_own_depot ON measurements WITH CHECK (depot = (SELECT kalvor_depot()));
  END IF;
  IF EXISTS (SELECT FROM pg_policy WHERE polname = 'sets_own_depot') THEN
    ALTER POLICY sets_own_depot ON sets WITH CHECK (depot = (SELECT kalvor_depot()));
  END IF;
  IF EXISTS (SELECT FROM pg_policy WHERE polname = 'lines_own_depot') THEN
    ALTER POLICY lines_own_depot ON lines USING (true) WITH CHECK (depot = (SELECT kalvor_depot()));
  END IF;
END
$$;
