-- The web page's counts, control charts and capability indices read a year
-- of millions of measurements. Instead of going through the rows on every
-- request they read two summaries, kept by a trigger in the transaction of
-- every insert, so a sync that adds rows adds them to the summaries too, or
-- neither:
--
-- * measurement_hours: per line, hour, bogie and spring type, the counts of
--   the lines page and the type list, the names and the latest measurement;
-- * measurement_param_hours: per line, hour, type, parameter and norms, the
--   values that count for the charts (measured on the line, not emulated,
--   not a parameter the quick measurement skips): their number, mean, sum of
--   squared deviations, least and greatest value and the last judged record.
--
-- An hour starts on a whole UTC hour, so every bucket lies in one day, one
-- week and one shift of any time zone that is a whole number of hours off
-- UTC, and the page's days, weeks and "today" come out exactly as from the
-- rows themselves. Means and deviations of several buckets are pooled
-- (pooled mean, within plus between sums of squares), which keeps a
-- deviation of equal values at exactly zero.

CREATE TABLE measurement_hours (
  line text NOT NULL,
  hour timestamptz NOT NULL,
  bogie_type smallint,
  spring_type smallint,
  -- Emulated records never count as measured.
  records bigint NOT NULL,
  judged bigint NOT NULL,
  good bigint NOT NULL,
  emulated bigint NOT NULL,
  -- The greatest names among the records not emulated, and among all.
  bogie_name text,
  spring_name text,
  any_bogie_name text,
  any_spring_name text,
  last_measured timestamptz,
  UNIQUE NULLS NOT DISTINCT (line, hour, bogie_type, spring_type)
);
CREATE INDEX measurement_hours_time ON measurement_hours (hour);
CREATE INDEX measurement_hours_type ON measurement_hours (bogie_type, spring_type, line);

CREATE TABLE measurement_param_hours (
  line text NOT NULL,
  hour timestamptz NOT NULL,
  bogie_type smallint,
  spring_type smallint,
  param smallint NOT NULL,
  p_min real,
  p_max real,
  p_tolerance real,
  n bigint NOT NULL,
  mean double precision NOT NULL,
  m2 double precision NOT NULL,
  lowest real NOT NULL,
  highest real NOT NULL,
  last_judged timestamptz,
  UNIQUE NULLS NOT DISTINCT (line, bogie_type, spring_type, param, hour, p_min, p_max, p_tolerance)
    INCLUDE (n, mean, m2, lowest, highest, last_judged)
);
-- The page reads the summary of a type through this index alone (the rows
-- of one type lie scattered over the table, put there as the syncs came).
CREATE INDEX measurement_param_hours_type ON measurement_param_hours (bogie_type, spring_type, param, hour)
  INCLUDE (line, p_min, p_max, p_tolerance, n, mean, m2, lowest, highest, last_judged);

-- The statement that adds the rows of `source` (a table, a trigger's
-- transition table or a subquery of measurements) to the summaries.
CREATE FUNCTION kalvor_summary_statement(source text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT format($f$
WITH hours AS (
  INSERT INTO measurement_hours AS h
  SELECT line, date_bin('1 hour', measured_at, timestamptz '2000-01-01 00:00+00'), bogie_type, spring_type,
         count(*) FILTER (WHERE emulated IS FALSE),
         count(*) FILTER (WHERE emulated IS FALSE AND judged),
         count(*) FILTER (WHERE emulated IS FALSE AND spring_good),
         count(*) FILTER (WHERE emulated),
         max(bogie_name) FILTER (WHERE emulated IS FALSE), max(spring_name) FILTER (WHERE emulated IS FALSE),
         max(bogie_name), max(spring_name), max(measured_at) FILTER (WHERE emulated IS FALSE)
  FROM %1$s AS m GROUP BY 1, 2, 3, 4
  ON CONFLICT (line, hour, bogie_type, spring_type) DO UPDATE SET
    records = h.records + excluded.records, judged = h.judged + excluded.judged,
    good = h.good + excluded.good, emulated = h.emulated + excluded.emulated,
    bogie_name = greatest(h.bogie_name, excluded.bogie_name),
    spring_name = greatest(h.spring_name, excluded.spring_name),
    any_bogie_name = greatest(h.any_bogie_name, excluded.any_bogie_name),
    any_spring_name = greatest(h.any_spring_name, excluded.any_spring_name),
    last_measured = greatest(h.last_measured, excluded.last_measured)
  RETURNING 1)
INSERT INTO measurement_param_hours AS s
SELECT m.line, date_bin('1 hour', m.measured_at, timestamptz '2000-01-01 00:00+00'), m.bogie_type, m.spring_type,
       v.param, v.lo, v.hi, v.tol, count(*), avg(v.value), coalesce(var_samp(v.value) * (count(*) - 1), 0),
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
GROUP BY 1, 2, 3, 4, 5, 6, 7, 8
ON CONFLICT (line, bogie_type, spring_type, param, hour, p_min, p_max, p_tolerance) DO UPDATE SET
  n = s.n + excluded.n,
  mean = s.mean + (excluded.mean - s.mean) * excluded.n / (s.n + excluded.n),
  m2 = s.m2 + excluded.m2 + (excluded.mean - s.mean) ^ 2 * s.n * excluded.n / (s.n + excluded.n),
  lowest = least(s.lowest, excluded.lowest), highest = greatest(s.highest, excluded.highest),
  last_judged = greatest(s.last_judged, excluded.last_judged)
$f$, source)
$$;

CREATE FUNCTION kalvor_summarise_added() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  EXECUTE kalvor_summary_statement('added');
  RETURN NULL;
END
$$;
CREATE TRIGGER measurements_summarise AFTER INSERT ON measurements
  REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION kalvor_summarise_added();

-- Lines only add rows. Where the administrator deletes or changes some,
-- the hours they lay in are counted anew from the rows; emptying the table
-- empties the summaries.
CREATE FUNCTION kalvor_summarise_changed() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  CREATE TEMP TABLE IF NOT EXISTS kalvor_touched_hours (line text, hour timestamptz) ON COMMIT DELETE ROWS;
  TRUNCATE kalvor_touched_hours;
  INSERT INTO kalvor_touched_hours
    SELECT DISTINCT line, date_bin('1 hour', measured_at, timestamptz '2000-01-01 00:00+00') FROM removed;
  IF TG_OP = 'UPDATE' THEN
    INSERT INTO kalvor_touched_hours
      SELECT DISTINCT line, date_bin('1 hour', measured_at, timestamptz '2000-01-01 00:00+00') FROM added;
  END IF;
  DELETE FROM measurement_hours h USING kalvor_touched_hours t WHERE h.line = t.line AND h.hour = t.hour;
  DELETE FROM measurement_param_hours s USING kalvor_touched_hours t WHERE s.line = t.line AND s.hour = t.hour;
  EXECUTE kalvor_summary_statement(
    '(SELECT x.* FROM measurements x WHERE EXISTS (SELECT FROM kalvor_touched_hours t WHERE t.line = x.line'
    ' AND x.measured_at >= t.hour AND x.measured_at < t.hour + interval ''1 hour''))');
  RETURN NULL;
END
$$;
CREATE TRIGGER measurements_summarise_deleted AFTER DELETE ON measurements
  REFERENCING OLD TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION kalvor_summarise_changed();
CREATE TRIGGER measurements_summarise_updated AFTER UPDATE ON measurements
  REFERENCING OLD TABLE AS removed NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION kalvor_summarise_changed();

CREATE FUNCTION kalvor_summaries_emptied() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  TRUNCATE measurement_hours, measurement_param_hours;
  RETURN NULL;
END
$$;
CREATE TRIGGER measurements_summaries_emptied AFTER TRUNCATE ON measurements
  FOR EACH STATEMENT EXECUTE FUNCTION kalvor_summaries_emptied();

DO $$ BEGIN EXECUTE kalvor_summary_statement('measurements'); END $$;

-- The histogram still counts the rows of the period; this index holds what
-- it reads of the two charted parameters, so it reads the index alone. It
-- takes the place of the index by line and type, which the summaries serve.
DROP INDEX measurements_type_time;
CREATE INDEX measurements_type_values ON measurements (bogie_type, spring_type, measured_at)
  INCLUDE (line, kind, emulated, p1_value, p1_measured, p2_value, p2_measured);

-- The sets of a wagon.
CREATE INDEX sets_wagon_from ON sets (wagon_from);
CREATE INDEX sets_wagon_to ON sets (wagon_to);

GRANT SELECT ON measurement_hours, measurement_param_hours TO kalvor_reader;
