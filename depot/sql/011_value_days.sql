-- The values themselves by day. The type page's histograms counted every
-- value of a type's period (some 300 000 rows a parameter over 60 days at a
-- busy depot) into their bars. This summary holds, per depot, line, day,
-- type and charted parameter (the outer diameter and the free height, the
-- page's two; kalvor_value_params), how many of the counted values (the
-- same values as measurement_param_days counts) lie in each cell of a fixed
-- grid:
--
-- * measurement_value_days (depot, line, day, bogie_type, spring_type,
--   param, cell): n, the values v with cell = floor(v · scale), scale being
--   kalvor_value_scale(param) cells a millimetre.
--
-- The scales are powers of two, so that v · scale and a cell's edges
-- cell / scale are exact in double precision: a bar made of whole cells,
-- [first cell / scale, (last cell + 1) / scale), holds exactly the values a
-- comparison of the stored values with those edges finds. A cell is fine
-- enough for some 40 bars over the span of the parameter's usual norms:
-- 1/16 mm for the outer diameter (±2 mm), the free height (±5 mm) and the
-- gap between coils, 1/32 mm for the perpendicularity (up to 3 mm), 1/64 mm
-- for the residual deformation (up to 1 mm), 1/8 mm for the deflection
-- under load (some 20 mm). The histograms of the other parameters (asked as
-- CSV alone) count their rows on the same grid.
--
-- Kept like the daily summaries: by the statement of every insert, counted
-- anew from the rows for the days of rows deleted or changed (and all of it
-- by kalvor_recount_days after the database's zone changed), and filled
-- here from the rows there are. Each value kept costs an insert its cell's
-- update, so only the charted parameters are kept.

CREATE FUNCTION kalvor_value_params() RETURNS smallint[]
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ SELECT '{1,2}'::smallint[] $$;

CREATE FUNCTION kalvor_value_scale(param smallint) RETURNS double precision
LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
SELECT CASE param WHEN 3 THEN 32 WHEN 5 THEN 64 WHEN 6 THEN 8 ELSE 16 END::double precision
$$;

CREATE TABLE measurement_value_days (
  depot text NOT NULL DEFAULT kalvor_depot(),
  line text NOT NULL,
  day date NOT NULL,
  bogie_type smallint,
  spring_type smallint,
  param smallint NOT NULL,
  cell double precision NOT NULL,
  n bigint NOT NULL,
  -- The page reads one type's parameter over a period through this key
  -- alone.
  CONSTRAINT measurement_value_days_key
    UNIQUE NULLS NOT DISTINCT (bogie_type, spring_type, param, day, depot, line, cell) INCLUDE (n)
);
GRANT SELECT ON measurement_value_days TO kalvor_reader;

-- The statement that adds the counted values of `source` to their cells.
CREATE FUNCTION kalvor_value_statement(source text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT format($f$
  INSERT INTO measurement_value_days AS c (depot, line, day, bogie_type, spring_type, param, cell, n)
  SELECT m.depot, m.line, date(m.measured_at), m.bogie_type, m.spring_type, v.param, floor(v.value * v.scale), count(*)
  FROM %1$s AS m CROSS JOIN LATERAL (VALUES %2$s) v(param, value, measured, scale)
  WHERE m.emulated IS FALSE AND v.measured IS NOT FALSE AND v.value IS NOT NULL
    AND (v.param NOT IN (1, 3, 4) OR m.kind <> 1)
  GROUP BY 1, 2, 3, 4, 5, 6, 7
  ON CONFLICT (bogie_type, spring_type, param, day, depot, line, cell) DO UPDATE SET n = c.n + excluded.n$f$,
  source, string_agg(format('(%1$s::smallint, m.p%1$s_value, m.p%1$s_measured, %2$s::float8)', p,
                            kalvor_value_scale(p::smallint)), ', ' ORDER BY p))
FROM unnest(kalvor_value_params()) p
$$;

-- The hours, the days and the values of every insert.
CREATE OR REPLACE FUNCTION kalvor_summary_statement(source text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT format('WITH hours AS (%s RETURNING 1), param_hours AS (%s RETURNING 1), days AS (%s RETURNING 1),'
              ' param_days AS (%s RETURNING 1) %s',
              h[1], h[2], d[1], d[2], kalvor_value_statement(source))
FROM kalvor_bucket_statements(source, 'hour') h, kalvor_bucket_statements(source, 'day') d
$$;

-- The values of the days listed in pg_temp.kalvor_touched_days anew from
-- the rows. At the centre the rows a transaction added and has yet to add
-- to the summaries (pg_temp.kalvor_added_rows) are left to that.
CREATE FUNCTION kalvor_recount_touched_values() RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
DECLARE
  k record;
  pending text := '';
BEGIN
  -- The types each touched day held, from its daily summary before that is
  -- counted anew, so that the key finds their cells.
  FOR k IN SELECT DISTINCT d.depot, d.line, d.day, d.bogie_type, d.spring_type
           FROM measurement_days d JOIN kalvor_touched_days t USING (depot, line, day) LOOP
    -- Each parameter's cells of the day are one stretch of the key.
    EXECUTE 'DELETE FROM measurement_value_days WHERE param = ANY (kalvor_value_params()) AND day = $3 AND depot = $1 AND line = $2'
      || CASE WHEN k.bogie_type IS NULL THEN ' AND bogie_type IS NULL' ELSE ' AND bogie_type = $4' END
      || CASE WHEN k.spring_type IS NULL THEN ' AND spring_type IS NULL' ELSE ' AND spring_type = $5' END
      USING k.depot, k.line, k.day, k.bogie_type, k.spring_type;
  END LOOP;
  IF to_regclass('pg_temp.kalvor_added_rows') IS NOT NULL THEN
    pending := ' AND NOT EXISTS (SELECT FROM pg_temp.kalvor_added_rows a WHERE a.depot = x.depot AND a.line = x.line'
               ' AND a.identifier = x.identifier AND a.measured_at = x.measured_at)';
  END IF;
  EXECUTE kalvor_value_statement(
    '(SELECT x.* FROM measurements x WHERE EXISTS (SELECT FROM kalvor_touched_days t'
    ' WHERE t.depot = x.depot AND t.line = x.line'
    ' AND x.measured_at >= t.day::timestamptz AND x.measured_at < (t.day + 1)::timestamptz)' || pending || ')');
END
$$;

-- The touched hours anew from the rows, then the days they lie in anew from
-- the hours and their values from the rows.
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
  PERFORM kalvor_recount_touched_values();
  DELETE FROM measurement_days d USING kalvor_touched_days t
    WHERE d.depot = t.depot AND d.line = t.line AND d.day = t.day;
  DELETE FROM measurement_param_days d USING kalvor_touched_days t
    WHERE d.depot = t.depot AND d.line = t.line AND d.day = t.day;
  PERFORM kalvor_days_from_hours(false);
END
$$;

-- Every day anew (after the database's zone changed): the values from the
-- rows.
CREATE OR REPLACE FUNCTION kalvor_recount_days() RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  DELETE FROM measurement_days;
  DELETE FROM measurement_param_days;
  DELETE FROM measurement_value_days;
  PERFORM kalvor_days_from_hours(true);
  EXECUTE kalvor_value_statement('measurements');
END
$$;

CREATE OR REPLACE FUNCTION kalvor_summaries_emptied() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
  TRUNCATE measurement_hours, measurement_param_hours, measurement_days, measurement_param_days,
    measurement_value_days;
  RETURN NULL;
END
$$;

REVOKE EXECUTE ON FUNCTION kalvor_recount_touched_values() FROM PUBLIC;

-- The values of the rows there are.
DO $$ BEGIN EXECUTE kalvor_value_statement('measurements'); END $$;
ANALYZE measurement_value_days;

-- The railway's centre adds its replicated rows with a copy of the summary
-- statement taken when it was made: that copy now keeps the values too.
DO $$
DECLARE
  noted text;
BEGIN
  IF NOT (SELECT central FROM depot_stamp) THEN RETURN; END IF;
  ALTER TABLE measurement_value_days ALTER COLUMN depot DROP DEFAULT;
  noted := pg_get_functiondef('kalvor_summarise_noted()'::regprocedure);
  IF position(kalvor_summary_statement('pg_temp.kalvor_added_rows') IN noted) = 0 THEN
    EXECUTE regexp_replace(noted, 'WITH hours AS \(.*last_judged = greatest\(s\.last_judged, excluded\.last_judged\)',
                           kalvor_summary_statement('pg_temp.kalvor_added_rows'));
  END IF;
END
$$;
