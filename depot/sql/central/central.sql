-- The railway's central database: the depot schema (every migration of
-- depot/sql) turned into the mirror of many depots, each subscribed to by
-- `springdata db subscribe`. Applied once, after the depot migrations, by
-- `springdata db migrate --central`.
--
-- Rows come only by replication, applied as the depot's own role at the
-- centre (kalvor_depot_CODE, the owner of its subscription). Lines never
-- write here; the reader reads everything.

UPDATE depot_stamp SET central = true;

-- The depots subscribed to, and the role each one's rows are applied as.
CREATE TABLE railway_depots (
  code text PRIMARY KEY CHECK (code ~ '^[a-z0-9_]{1,20}$'),
  role_name text NOT NULL UNIQUE,
  subscribed_at timestamptz NOT NULL DEFAULT now()
);
GRANT SELECT ON railway_depots TO kalvor_reader;

-- No line's role writes or reads here.
DROP POLICY lines_own_read ON lines;
DROP POLICY lines_own_position ON lines;
DROP POLICY lines_own_depot ON lines;
DROP POLICY measurements_own_insert ON measurements;
DROP POLICY measurements_own_read ON measurements;
DROP POLICY measurements_own_depot ON measurements;
DROP POLICY sets_own_insert ON sets;
DROP POLICY sets_own_read ON sets;
DROP POLICY sets_own_depot ON sets;
REVOKE ALL ON lines, measurements, sets, schema_migrations FROM kalvor_lines;
REVOKE EXECUTE ON FUNCTION kalvor_ensure_month(timestamptz) FROM kalvor_lines;

-- Every key carries the depot; a row without one is refused.
ALTER TABLE lines ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE sets ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE measurements ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE measurement_hours ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE measurement_param_hours ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE measurement_days ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE measurement_param_days ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE measurement_value_days ALTER COLUMN depot DROP DEFAULT;
ALTER TABLE sets DROP CONSTRAINT sets_line_fkey;
ALTER TABLE sets DROP CONSTRAINT sets_content;
ALTER TABLE sets DROP CONSTRAINT sets_pkey;
ALTER TABLE sets ADD PRIMARY KEY (depot, line, position);
ALTER TABLE lines DROP CONSTRAINT lines_role_name_key;
ALTER TABLE lines DROP CONSTRAINT lines_pkey;
ALTER TABLE lines ADD PRIMARY KEY (depot, name);
DROP TRIGGER lines_keep_measured ON lines;
CREATE INDEX measurements_depot_time ON measurements (depot, measured_at);

-- A depot's role writes rows of its own depot only. The subscription
-- applies as its owner, so current_user names the depot whose rows these
-- are; the trigger fires for replicated rows as well (ENABLE ALWAYS).
-- Replication runs with an empty search_path: every function its
-- triggers call names its own.
CREATE FUNCTION kalvor_own_depot_rows() RETURNS trigger
LANGUAGE plpgsql SET search_path = public, pg_temp AS $$
DECLARE
  row_depot text := CASE WHEN TG_OP = 'DELETE' THEN OLD.depot ELSE NEW.depot END;
  own text := (SELECT code FROM railway_depots WHERE role_name = current_user);
BEGIN
  IF own IS NOT NULL AND (row_depot IS DISTINCT FROM own
                          OR (TG_OP = 'UPDATE' AND OLD.depot IS DISTINCT FROM own)) THEN
    RAISE EXCEPTION 'depot % cannot write rows of depot % into %', own, row_depot, TG_TABLE_NAME
      USING ERRCODE = 'insufficient_privilege';
  END IF;
  RETURN CASE WHEN TG_OP = 'DELETE' THEN OLD ELSE NEW END;
END
$$;
CREATE TRIGGER lines_own_depot BEFORE INSERT OR UPDATE OR DELETE ON lines
  FOR EACH ROW EXECUTE FUNCTION kalvor_own_depot_rows();
CREATE TRIGGER sets_own_depot BEFORE INSERT OR UPDATE OR DELETE ON sets
  FOR EACH ROW EXECUTE FUNCTION kalvor_own_depot_rows();
CREATE TRIGGER measurements_own_depot BEFORE INSERT OR UPDATE OR DELETE ON measurements
  FOR EACH ROW EXECUTE FUNCTION kalvor_own_depot_rows();

-- The summaries. Replication applies rows one by one and fires row
-- triggers only, so the statement triggers of the depot give way to row
-- triggers. Adding each row to its hour at once would change one summary
-- row thousands of times in a transaction of many rows (an initial copy, a
-- depot's first sync), each time past all its earlier versions; so row
-- triggers only note the rows added and the hours of rows deleted or
-- changed in temporary tables, and a trigger deferred to the commit counts
-- the noted hours anew from the rows (and the days they lie in from the
-- hours) and adds the other added rows with the depot's own summary
-- statement, which keeps the days with the hours.
DROP TRIGGER measurements_summarise ON measurements;
DROP TRIGGER measurements_summarise_deleted ON measurements;
DROP TRIGGER measurements_summarise_updated ON measurements;

CREATE FUNCTION kalvor_note_rows() RETURNS trigger
LANGUAGE plpgsql SET search_path = public, pg_temp AS $$
BEGIN
  IF to_regclass('pg_temp.kalvor_added_rows') IS NULL THEN
    CREATE TEMP TABLE kalvor_added_rows (LIKE public.measurements) ON COMMIT DELETE ROWS;
    CREATE TEMP TABLE IF NOT EXISTS kalvor_touched_depot_hours (depot text, line text, hour timestamptz)
      ON COMMIT DELETE ROWS;
  END IF;
  IF TG_OP = 'INSERT' THEN
    INSERT INTO pg_temp.kalvor_added_rows SELECT NEW.*;
    RETURN NULL;
  END IF;
  INSERT INTO pg_temp.kalvor_touched_depot_hours
    VALUES (OLD.depot, OLD.line, date_bin('1 hour', OLD.measured_at, timestamptz '2000-01-01 00:00+00'));
  IF TG_OP = 'UPDATE' THEN
    INSERT INTO pg_temp.kalvor_touched_depot_hours
      VALUES (NEW.depot, NEW.line, date_bin('1 hour', NEW.measured_at, timestamptz '2000-01-01 00:00+00'));
  END IF;
  RETURN NULL;
END
$$;

DO $$
BEGIN
  EXECUTE format('CREATE FUNCTION kalvor_summarise_noted() RETURNS trigger LANGUAGE plpgsql '
                 'SET search_path = public, pg_temp AS %L', $body$
BEGIN
  IF EXISTS (SELECT FROM pg_temp.kalvor_touched_depot_hours) THEN
    -- Rows added in a noted hour are counted with it.
    DELETE FROM pg_temp.kalvor_added_rows a USING pg_temp.kalvor_touched_depot_hours t
      WHERE a.depot = t.depot AND a.line = t.line
        AND date_bin('1 hour', a.measured_at, timestamptz '2000-01-01 00:00+00') = t.hour;
    PERFORM kalvor_recount_touched_hours();
    TRUNCATE pg_temp.kalvor_touched_depot_hours;
  END IF;
  IF EXISTS (SELECT FROM pg_temp.kalvor_added_rows) THEN
    $body$ || kalvor_summary_statement('pg_temp.kalvor_added_rows') || $body$;
    TRUNCATE pg_temp.kalvor_added_rows;
  END IF;
  RETURN NULL;
END
$body$);
END
$$;

CREATE TRIGGER measurements_note_rows AFTER INSERT OR UPDATE OR DELETE ON measurements
  FOR EACH ROW EXECUTE FUNCTION kalvor_note_rows();
-- One deferred call a transaction does it all: only the transaction's
-- first noted row queues it, so a copy of a million rows queues one event,
-- not a million.
CREATE FUNCTION kalvor_first_noted_row() RETURNS boolean
LANGUAGE sql VOLATILE AS $$
  SELECT current_setting('kalvor.summarised_xact', true) IS DISTINCT FROM pg_current_xact_id()::text
     AND set_config('kalvor.summarised_xact', pg_current_xact_id()::text, false) IS NOT NULL
$$;
CREATE CONSTRAINT TRIGGER measurements_summarise_noted AFTER INSERT OR UPDATE OR DELETE ON measurements
  DEFERRABLE INITIALLY DEFERRED FOR EACH ROW WHEN (kalvor_first_noted_row())
  EXECUTE FUNCTION kalvor_summarise_noted();

ALTER TABLE lines ENABLE ALWAYS TRIGGER lines_own_depot;
ALTER TABLE sets ENABLE ALWAYS TRIGGER sets_own_depot;
ALTER TABLE measurements ENABLE ALWAYS TRIGGER measurements_own_depot;
ALTER TABLE measurements ENABLE ALWAYS TRIGGER measurements_note_rows;
ALTER TABLE measurements ENABLE ALWAYS TRIGGER measurements_summarise_noted;
ALTER TABLE measurements ENABLE ALWAYS TRIGGER measurements_summaries_emptied;
