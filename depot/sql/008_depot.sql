-- A depot knows its code, the name it carries in the railway's central
-- database. `springdata db migrate --depot CODE` gives it once (1 to 20 of
-- a-z, 0-9 and _); it is never changed after. `measurements`, `sets` and
-- `lines` carry it in the column `depot`, filled by the database from the
-- stamp: a line's role cannot name a depot (a restrictive policy), and the
-- sync never sends one.
--
-- A depot not stamped yet gives its rows the empty code ''; stamping it
-- later gives every row with '' the code. The migration itself stamps the
-- depot when the migrating session sets kalvor.depot (springdata does when
-- --depot is given), so the rows of an existing depot take the code as the
-- column is added.
--
-- The centre receives the depots' rows by logical replication and must be
-- able to find a changed or deleted row of one depot among those of all
-- depots, so `depot` is part of what identifies a row here too: the key of
-- measurements ends with it, and `lines` and `sets` (small, rarely changed)
-- send their whole old row with every change (replica identity full).

CREATE TABLE depot_stamp (
  only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),
  code text CHECK (code ~ '^[a-z0-9_]{1,20}$'),
  -- The railway's central database: its rows come from the depots.
  central boolean NOT NULL DEFAULT false,
  stamped_at timestamptz NOT NULL DEFAULT now()
);
INSERT INTO depot_stamp (code) VALUES (nullif(current_setting('kalvor.depot', true), ''));
GRANT SELECT ON depot_stamp TO PUBLIC;

CREATE FUNCTION kalvor_depot() RETURNS text
LANGUAGE sql STABLE AS $$ SELECT coalesce((SELECT code FROM depot_stamp), '') $$;

-- The code is given once.
CREATE FUNCTION kalvor_keep_depot_code() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
  IF OLD.code IS NOT NULL AND NEW.code IS DISTINCT FROM OLD.code THEN
    RAISE EXCEPTION 'this depot is %, its code is not changed', OLD.code
      USING ERRCODE = 'check_violation';
  END IF;
  RETURN NEW;
END
$$;
CREATE TRIGGER depot_stamp_kept BEFORE UPDATE ON depot_stamp
  FOR EACH ROW EXECUTE FUNCTION kalvor_keep_depot_code();

ALTER TABLE lines ADD COLUMN depot text NOT NULL DEFAULT kalvor_depot();
ALTER TABLE sets ADD COLUMN depot text NOT NULL DEFAULT kalvor_depot();
ALTER TABLE measurements ADD COLUMN depot text NOT NULL DEFAULT kalvor_depot();

ALTER TABLE measurements DROP CONSTRAINT measurements_pkey;
ALTER TABLE measurements ADD PRIMARY KEY (identifier, line, measured_at, depot);
ALTER TABLE lines REPLICA IDENTITY FULL;
ALTER TABLE sets REPLICA IDENTITY FULL;

CREATE POLICY measurements_own_depot ON measurements AS RESTRICTIVE FOR INSERT TO kalvor_lines
  WITH CHECK (depot = kalvor_depot());
CREATE POLICY sets_own_depot ON sets AS RESTRICTIVE FOR INSERT TO kalvor_lines
  WITH CHECK (depot = kalvor_depot());
-- The line's role may move its position but never its depot.
CREATE POLICY lines_own_depot ON lines AS RESTRICTIVE FOR UPDATE TO kalvor_lines
  USING (true) WITH CHECK (depot = kalvor_depot());

-- The summaries are kept per depot too, so that the centre, which holds
-- lines of the same name from several depots, keeps them apart.
ALTER TABLE measurement_hours ADD COLUMN depot text NOT NULL DEFAULT kalvor_depot();
ALTER TABLE measurement_param_hours ADD COLUMN depot text NOT NULL DEFAULT kalvor_depot();
DO $$
DECLARE c record;
BEGIN
  FOR c IN SELECT conrelid::regclass AS t, conname FROM pg_constraint
           WHERE conrelid IN ('measurement_hours'::regclass, 'measurement_param_hours'::regclass)
             AND contype = 'u' LOOP
    EXECUTE format('ALTER TABLE %s DROP CONSTRAINT %I', c.t, c.conname);
  END LOOP;
END
$$;
ALTER TABLE measurement_hours ADD CONSTRAINT measurement_hours_key
  UNIQUE NULLS NOT DISTINCT (depot, line, hour, bogie_type, spring_type);
ALTER TABLE measurement_param_hours ADD CONSTRAINT measurement_param_hours_key
  UNIQUE NULLS NOT DISTINCT (depot, line, bogie_type, spring_type, param, hour, p_min, p_max, p_tolerance)
  INCLUDE (n, mean, m2, lowest, highest, last_judged);

CREATE OR REPLACE FUNCTION kalvor_summary_statement(source text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT format($f$
WITH hours AS (
  INSERT INTO measurement_hours AS h (depot, line, hour, bogie_type, spring_type, records, judged, good,
    emulated, bogie_name, spring_name, any_bogie_name, any_spring_name, last_measured)
  SELECT depot, line, date_bin('1 hour', measured_at, timestamptz '2000-01-01 00:00+00'), bogie_type, spring_type,
         count(*) FILTER (WHERE emulated IS FALSE),
         count(*) FILTER (WHERE emulated IS FALSE AND judged),
         count(*) FILTER (WHERE emulated IS FALSE AND spring_good),
         count(*) FILTER (WHERE emulated),
         max(bogie_name) FILTER (WHERE emulated IS FALSE), max(spring_name) FILTER (WHERE emulated IS FALSE),
         max(bogie_name), max(spring_name), max(measured_at) FILTER (WHERE emulated IS FALSE)
  FROM %1$s AS m GROUP BY 1, 2, 3, 4, 5
  ON CONFLICT (depot, line, hour, bogie_type, spring_type) DO UPDATE SET
    records = h.records + excluded.records, judged = h.judged + excluded.judged,
    good = h.good + excluded.good, emulated = h.emulated + excluded.emulated,
    bogie_name = greatest(h.bogie_name, excluded.bogie_name),
    spring_name = greatest(h.spring_name, excluded.spring_name),
    any_bogie_name = greatest(h.any_bogie_name, excluded.any_bogie_name),
    any_spring_name = greatest(h.any_spring_name, excluded.any_spring_name),
    last_measured = greatest(h.last_measured, excluded.last_measured)
  RETURNING 1)
INSERT INTO measurement_param_hours AS s (depot, line, hour, bogie_type, spring_type, param, p_min, p_max,
  p_tolerance, n, mean, m2, lowest, highest, last_judged)
SELECT m.depot, m.line, date_bin('1 hour', m.measured_at, timestamptz '2000-01-01 00:00+00'), m.bogie_type,
       m.spring_type, v.param, v.lo, v.hi, v.tol, count(*), avg(v.value),
       coalesce(var_samp(v.value) * (count(*) - 1), 0),
       min(v.value), max(v.value), max(m.measured_at) FILTER (WHERE m.judged)
FROM %1$s AS m CROSS JOIN LATERAL (VALUES
  (1::smallint, m.p1_value, m.p1_measured, m.p1_min, m.p1_max, m.p1_tolerance),
  (2::smallint, m.p2_value, m.p2_measured, m.p2_min, m.p2_max, m.p2_tolerance),
  (3::smallint, m.p3_value, m.p3_measured, m.p3_min, m.p3_max, m.p3_tolerance),
  (4::smallint, m.p4_value, m.p4_measured, m.p4_min, m.p4_max, m.p4_tolerance),
  (5::smallint, m.p5_value, m.p5_measured, m.p5_min, m.p5_max, m.p5_tolerance),
  (6::smallint, m.p6_value, m.p6_measured, m.p6_min, m.p6_max, m.p6_tolerance))
  v(param, value, measured, lo, hi, tol)
WHERE m.emulated IS FALSE AND v.measured IS NOT FALSE AND v.value IS NOT NULL
  AND (v.param NOT IN (1, 3, 4) OR m.kind <> 1)
GROUP BY 1, 2, 3, 4, 5, 6, 7, 8, 9
ON CONFLICT (depot, line, bogie_type, spring_type, param, hour, p_min, p_max, p_tolerance) DO UPDATE SET
  n = s.n + excluded.n,
  mean = s.mean + (excluded.mean - s.mean) * excluded.n / (s.n + excluded.n),
  m2 = s.m2 + excluded.m2 + (excluded.mean - s.mean) ^ 2 * s.n * excluded.n / (s.n + excluded.n),
  lowest = least(s.lowest, excluded.lowest), highest = greatest(s.highest, excluded.highest),
  last_judged = greatest(s.last_judged, excluded.last_judged)
$f$, source)
$$;

-- The hours listed in kalvor_touched_depot_hours, counted anew from the
-- rows that are there now.
CREATE FUNCTION kalvor_recount_touched_hours() RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  DELETE FROM measurement_hours h USING kalvor_touched_depot_hours t
    WHERE h.depot = t.depot AND h.line = t.line AND h.hour = t.hour;
  DELETE FROM measurement_param_hours s USING kalvor_touched_depot_hours t
    WHERE s.depot = t.depot AND s.line = t.line AND s.hour = t.hour;
  EXECUTE kalvor_summary_statement(
    '(SELECT x.* FROM measurements x WHERE EXISTS (SELECT FROM kalvor_touched_depot_hours t'
    ' WHERE t.depot = x.depot AND t.line = x.line'
    ' AND x.measured_at >= t.hour AND x.measured_at < t.hour + interval ''1 hour''))');
END
$$;

CREATE OR REPLACE FUNCTION kalvor_summarise_changed() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  CREATE TEMP TABLE IF NOT EXISTS kalvor_touched_depot_hours (depot text, line text, hour timestamptz)
    ON COMMIT DELETE ROWS;
  TRUNCATE kalvor_touched_depot_hours;
  INSERT INTO kalvor_touched_depot_hours
    SELECT DISTINCT depot, line, date_bin('1 hour', measured_at, timestamptz '2000-01-01 00:00+00') FROM removed;
  IF TG_OP = 'UPDATE' THEN
    INSERT INTO kalvor_touched_depot_hours
      SELECT DISTINCT depot, line, date_bin('1 hour', measured_at, timestamptz '2000-01-01 00:00+00') FROM added;
  END IF;
  PERFORM kalvor_recount_touched_hours();
  RETURN NULL;
END
$$;

-- The depot code of rows stamped only now.
CREATE FUNCTION kalvor_stamp_rows() RETURNS void
LANGUAGE sql AS $$
  UPDATE lines SET depot = kalvor_depot() WHERE depot = '' AND kalvor_depot() <> '';
  UPDATE sets SET depot = kalvor_depot() WHERE depot = '' AND kalvor_depot() <> '';
  UPDATE measurements SET depot = kalvor_depot() WHERE depot = '' AND kalvor_depot() <> '';
$$;
