-- The summaries by day. The lines page judges every line × spring type of a
-- month by its shifts (a shift is a day of the database's time zone), and
-- pooling each shift from its 24 hourly rows read 24 times the rows it
-- needs. Two more summaries hold the days themselves, in the shape of the
-- hourly ones with `day` in the place of `hour`:
--
-- * measurement_days (depot, line, day, bogie_type, spring_type): records,
--   judged, good, emulated, the greatest names (of the records not emulated
--   and of all) and the latest measurement not emulated;
-- * measurement_param_days (depot, line, day, bogie_type, spring_type, param,
--   p_min, p_max, p_tolerance): n, mean, m2 (the sum of squared deviations),
--   lowest, highest and the last judged record of the counted values (the
--   same values as the hourly summary counts). A shift over all its norms,
--   or a month by its norms, pools these rows as the hours are pooled:
--   n = Σn, mean = Σ(n·mean) / Σn, m2 = Σm2 + Σ n·(mean − pooled mean)².
--
-- They are kept in the transaction of every insert by the statement that
-- keeps the hourly ones, and counted anew from the hours where rows are
-- deleted or changed. A day is date(measured_at) in the session's zone,
-- which is the database's (ALTER DATABASE … SET timezone, as springdata sets
-- it; the line's sync refuses a line in another zone). After the database's
-- zone is changed, SELECT kalvor_recount_days() counts every day anew from
-- the hours in the new zone.

CREATE TABLE measurement_days (
  depot text NOT NULL DEFAULT kalvor_depot(),
  line text NOT NULL,
  day date NOT NULL,
  bogie_type smallint,
  spring_type smallint,
  records bigint NOT NULL,
  judged bigint NOT NULL,
  good bigint NOT NULL,
  emulated bigint NOT NULL,
  bogie_name text,
  spring_name text,
  any_bogie_name text,
  any_spring_name text,
  last_measured timestamptz,
  CONSTRAINT measurement_days_key UNIQUE NULLS NOT DISTINCT (depot, line, day, bogie_type, spring_type)
);
-- The lines page reads every cell of a period by day.
CREATE INDEX measurement_days_day ON measurement_days (day)
  INCLUDE (depot, line, bogie_type, spring_type, records, judged, good, bogie_name, spring_name, last_measured);

CREATE TABLE measurement_param_days (
  depot text NOT NULL DEFAULT kalvor_depot(),
  line text NOT NULL,
  day date NOT NULL,
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
  CONSTRAINT measurement_param_days_key
    UNIQUE NULLS NOT DISTINCT (depot, line, bogie_type, spring_type, param, day, p_min, p_max, p_tolerance)
    INCLUDE (n, mean, m2, lowest, highest, last_judged)
);
-- One type's days over every line (the type page), and every cell's charted
-- parameters of a period by day (the lines page).
CREATE INDEX measurement_param_days_type ON measurement_param_days (bogie_type, spring_type, param, day)
  INCLUDE (depot, line, p_min, p_max, p_tolerance, n, mean, m2, lowest, highest, last_judged);
CREATE INDEX measurement_param_days_charted ON measurement_param_days (day)
  INCLUDE (depot, line, bogie_type, spring_type, param, p_min, p_max, p_tolerance, n, mean, m2)
  WHERE param IN (1, 2);

GRANT SELECT ON measurement_days, measurement_param_days TO kalvor_reader;

-- The two statements that add the rows of `source` to the summaries of one
-- bucket: `unit` 'hour' (measurement_hours, measurement_param_hours) or
-- 'day' (measurement_days, measurement_param_days).
CREATE FUNCTION kalvor_bucket_statements(source text, unit text) RETURNS text[]
LANGUAGE sql IMMUTABLE AS $$
SELECT ARRAY[format($f$
  INSERT INTO measurement_%2$ss AS h (depot, line, %2$s, bogie_type, spring_type, records, judged, good,
    emulated, bogie_name, spring_name, any_bogie_name, any_spring_name, last_measured)
  SELECT m.depot, m.line, %3$s, m.bogie_type, m.spring_type,
         count(*) FILTER (WHERE m.emulated IS FALSE),
         count(*) FILTER (WHERE m.emulated IS FALSE AND m.judged),
         count(*) FILTER (WHERE m.emulated IS FALSE AND m.spring_good),
         count(*) FILTER (WHERE m.emulated),
         max(m.bogie_name) FILTER (WHERE m.emulated IS FALSE), max(m.spring_name) FILTER (WHERE m.emulated IS FALSE),
         max(m.bogie_name), max(m.spring_name), max(m.measured_at) FILTER (WHERE m.emulated IS FALSE)
  FROM %1$s AS m GROUP BY 1, 2, 3, 4, 5
  ON CONFLICT (depot, line, %2$s, bogie_type, spring_type) DO UPDATE SET
    records = h.records + excluded.records, judged = h.judged + excluded.judged,
    good = h.good + excluded.good, emulated = h.emulated + excluded.emulated,
    bogie_name = greatest(h.bogie_name, excluded.bogie_name),
    spring_name = greatest(h.spring_name, excluded.spring_name),
    any_bogie_name = greatest(h.any_bogie_name, excluded.any_bogie_name),
    any_spring_name = greatest(h.any_spring_name, excluded.any_spring_name),
    last_measured = greatest(h.last_measured, excluded.last_measured)$f$,
  source, unit, bucket), format($f$
  INSERT INTO measurement_param_%2$ss AS s (depot, line, %2$s, bogie_type, spring_type, param, p_min, p_max,
    p_tolerance, n, mean, m2, lowest, highest, last_judged)
  SELECT m.depot, m.line, %3$s, m.bogie_type, m.spring_type, v.param, v.lo, v.hi, v.tol, count(*), avg(v.value),
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
  ON CONFLICT (depot, line, bogie_type, spring_type, param, %2$s, p_min, p_max, p_tolerance) DO UPDATE SET
    n = s.n + excluded.n,
    mean = s.mean + (excluded.mean - s.mean) * excluded.n / (s.n + excluded.n),
    m2 = s.m2 + excluded.m2 + (excluded.mean - s.mean) ^ 2 * s.n * excluded.n / (s.n + excluded.n),
    lowest = least(s.lowest, excluded.lowest), highest = greatest(s.highest, excluded.highest),
    last_judged = greatest(s.last_judged, excluded.last_judged)$f$,
  source, unit, bucket)]
FROM (SELECT CASE unit WHEN 'hour' THEN 'date_bin(''1 hour'', m.measured_at, timestamptz ''2000-01-01 00:00+00'')'
                       ELSE 'date(m.measured_at)' END AS bucket) b
$$;

-- The hours alone (counting touched hours anew), and the hours with the days
-- (every insert).
CREATE FUNCTION kalvor_hours_statement(source text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT format('WITH hours AS (%s RETURNING 1) %s', s[1], s[2]) FROM kalvor_bucket_statements(source, 'hour') s
$$;

CREATE OR REPLACE FUNCTION kalvor_summary_statement(source text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT format('WITH hours AS (%s RETURNING 1), param_hours AS (%s RETURNING 1), days AS (%s RETURNING 1) %s',
              h[1], h[2], d[1], d[2])
FROM kalvor_bucket_statements(source, 'hour') h, kalvor_bucket_statements(source, 'day') d
$$;

-- Adds the days listed in pg_temp.kalvor_touched_days (depot, line, day), or
-- every day, from the hourly summaries.
CREATE FUNCTION kalvor_days_from_hours(every_day boolean) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
DECLARE
  hours text := CASE WHEN every_day THEN '' ELSE
    ' WHERE EXISTS (SELECT FROM pg_temp.kalvor_touched_days t WHERE t.depot = h.depot AND t.line = h.line'
    ' AND h.hour >= t.day::timestamptz AND h.hour < (t.day + 1)::timestamptz)' END;
BEGIN
  EXECUTE 'INSERT INTO measurement_days (depot, line, day, bogie_type, spring_type, records, judged, good,'
    ' emulated, bogie_name, spring_name, any_bogie_name, any_spring_name, last_measured)'
    ' SELECT depot, line, date(hour), bogie_type, spring_type, sum(records), sum(judged), sum(good), sum(emulated),'
    ' max(bogie_name), max(spring_name), max(any_bogie_name), max(any_spring_name), max(last_measured)'
    ' FROM measurement_hours h' || hours || ' GROUP BY depot, line, date(hour), bogie_type, spring_type';
  EXECUTE 'INSERT INTO measurement_param_days (depot, line, day, bogie_type, spring_type, param, p_min, p_max,'
    ' p_tolerance, n, mean, m2, lowest, highest, last_judged)'
    ' SELECT depot, line, day, bogie_type, spring_type, param, p_min, p_max, p_tolerance, sum(n),'
    '   sum(n * mean) / sum(n), sum(m2) + sum(n * (mean - pooled) ^ 2), min(lowest), max(highest), max(last_judged)'
    ' FROM (SELECT h.*, date(hour) AS day, sum(n * mean) OVER w / sum(n) OVER w AS pooled'
    '   FROM measurement_param_hours h' || hours ||
    '   WINDOW w AS (PARTITION BY depot, line, date(hour), bogie_type, spring_type, param, p_min, p_max, p_tolerance)) x'
    ' GROUP BY depot, line, day, bogie_type, spring_type, param, p_min, p_max, p_tolerance';
END
$$;

-- Every day anew (after the database's zone changed).
CREATE FUNCTION kalvor_recount_days() RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  DELETE FROM measurement_days;
  DELETE FROM measurement_param_days;
  PERFORM kalvor_days_from_hours(true);
END
$$;

-- The touched hours anew from the rows, then the days they lie in anew from
-- the hours.
CREATE OR REPLACE FUNCTION kalvor_recount_touched_hours() RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  DELETE FROM measurement_hours h USING kalvor_touched_depot_hours t
    WHERE h.depot = t.depot AND h.line = t.line AND h.hour = t.hour;
  DELETE FROM measurement_param_hours s USING kalvor_touched_depot_hours t
    WHERE s.depot = t.depot AND s.line = t.line AND s.hour = t.hour;
  EXECUTE kalvor_hours_statement(
    '(SELECT x.* FROM measurements x WHERE EXISTS (SELECT FROM kalvor_touched_depot_hours t'
    ' WHERE t.depot = x.depot AND t.line = x.line'
    ' AND x.measured_at >= t.hour AND x.measured_at < t.hour + interval ''1 hour''))');
  CREATE TEMP TABLE IF NOT EXISTS kalvor_touched_days (depot text, line text, day date) ON COMMIT DELETE ROWS;
  TRUNCATE kalvor_touched_days;
  INSERT INTO kalvor_touched_days SELECT DISTINCT depot, line, date(hour) FROM kalvor_touched_depot_hours;
  DELETE FROM measurement_days d USING kalvor_touched_days t
    WHERE d.depot = t.depot AND d.line = t.line AND d.day = t.day;
  DELETE FROM measurement_param_days d USING kalvor_touched_days t
    WHERE d.depot = t.depot AND d.line = t.line AND d.day = t.day;
  PERFORM kalvor_days_from_hours(false);
END
$$;

CREATE OR REPLACE FUNCTION kalvor_summaries_emptied() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  TRUNCATE measurement_hours, measurement_param_hours, measurement_days, measurement_param_days;
  RETURN NULL;
END
$$;

-- Only the summaries' own triggers (and the administrator) count anew.
REVOKE EXECUTE ON FUNCTION kalvor_days_from_hours(boolean), kalvor_recount_days() FROM PUBLIC;

-- The days of the rows there are, from their hours: a depot of ten million
-- rows has some tens of thousands of hourly rows.
SELECT kalvor_days_from_hours(true);

-- The railway's centre, made before the days were kept, adds its replicated
-- rows with a copy of the summary statement taken when it was made: that
-- copy now keeps the days too, and its summaries carry every depot's code.
DO $$
DECLARE
  noted text;
BEGIN
  IF NOT (SELECT central FROM depot_stamp) THEN RETURN; END IF;
  ALTER TABLE measurement_days ALTER COLUMN depot DROP DEFAULT;
  ALTER TABLE measurement_param_days ALTER COLUMN depot DROP DEFAULT;
  noted := pg_get_functiondef('kalvor_summarise_noted()'::regprocedure);
  IF position(kalvor_summary_statement('pg_temp.kalvor_added_rows') IN noted) = 0 THEN
    EXECUTE regexp_replace(noted, 'WITH hours AS \(.*last_judged = greatest\(s\.last_judged, excluded\.last_judged\)',
                           kalvor_summary_statement('pg_temp.kalvor_added_rows'));
  END IF;
END
$$;
