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

-- The summaries' statement of every insert stands in the trigger's body,
-- made here from kalvor_summary_statement(), rather than being built by
-- that function and planned anew at each insert: a sync's new session
-- spent some 15 ms building its text and as much planning it, which a
-- small sync of a few records pays in full; in the body it is planned once
-- per session. A migration that changes kalvor_summary_statement() calls
-- kalvor_make_summarise_added() after it.
CREATE FUNCTION kalvor_make_summarise_added() RETURNS void
LANGUAGE plpgsql AS $make$
BEGIN
  EXECUTE format($f$CREATE OR REPLACE FUNCTION kalvor_summarise_added() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $body$
BEGIN
%s;
  RETURN NULL;
END
$body$$f$, kalvor_summary_statement('added'));
END
$make$;
REVOKE EXECUTE ON FUNCTION kalvor_make_summarise_added() FROM PUBLIC;
SELECT kalvor_make_summarise_added();

-- The type's rows by time, by the key alone. The histograms of the outer
-- diameter and the free height read their daily value cells
-- (measurement_value_days), so nothing reads the charted values this index
-- held beside its key any more: every query of the rows by type (the other
-- parameters' histograms, the causes of rejection, the search) visits the
-- rows themselves, which the key finds as before. A narrower index costs
-- each insert less.
DROP INDEX measurements_type_values;
CREATE INDEX measurements_type_time ON measurements (bogie_type, spring_type, measured_at);
