-- The depot's measurements: every line copies its record files here with
-- `springdata sync`; the web page reads them. Applied once, in a transaction,
-- by `springdata db migrate`, which records it in schema_migrations.

-- Roles are shared by all databases of the cluster: another depot database
-- of the same cluster may have made them already.
DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'kalvor_reader') THEN
    CREATE ROLE kalvor_reader LOGIN;
  END IF;
  -- Every line's role is a member; the policies below name this group.
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'kalvor_lines') THEN
    CREATE ROLE kalvor_lines NOLOGIN;
  END IF;
END
$$;

-- One row per line, made by `springdata db add-line`. The sync keeps its
-- position here: the number of records of each file already copied and a
-- check of the last one (md5 of its bytes), so that a file emptied or
-- replaced since the last run is noticed and read again from its start.
CREATE TABLE lines (
  name text PRIMARY KEY,
  role_name text NOT NULL UNIQUE,
  created_at timestamptz NOT NULL DEFAULT now(),
  last_sync_at timestamptz,
  base_records bigint NOT NULL DEFAULT 0,
  day_records bigint NOT NULL DEFAULT 0,
  sets_records bigint NOT NULL DEFAULT 0,
  base_check text,
  day_check text,
  sets_check text,
  -- Sets are numbered on across an emptied Tel.bin: position = sets_offset +
  -- the set's position in the file.
  sets_offset bigint NOT NULL DEFAULT 0
);

-- One row per measurement of any line. A record keeps its identity (line,
-- identifier, stored date and time) when the shift change moves it from
-- day.bin into base.bin, so it is one row whichever file it was copied from.
CREATE TABLE measurements (
  line text NOT NULL REFERENCES lines(name),
  identifier text NOT NULL,
  measured_at timestamptz NOT NULL,
  bogie_type smallint,
  spring_type smallint,
  bogie_name text,
  spring_name text,
  kind smallint,
  accelerated boolean,
  emulated boolean,
  p1_value real,
  p2_value real,
  p3_value real,
  p4_value real,
  p5_value real,
  p6_value real,
  p1_good boolean,
  p2_good boolean,
  p3_good boolean,
  p4_good boolean,
  p5_good boolean,
  p6_good boolean,
  p1_measured boolean,
  p2_measured boolean,
  p3_measured boolean,
  p4_measured boolean,
  p5_measured boolean,
  p6_measured boolean,
  p1_min real,
  p2_min real,
  p3_min real,
  p4_min real,
  p5_min real,
  p6_min real,
  p1_max real,
  p2_max real,
  p3_max real,
  p4_max real,
  p5_max real,
  p6_max real,
  p1_tolerance real,
  p2_tolerance real,
  p3_tolerance real,
  p4_tolerance real,
  p5_tolerance real,
  p6_tolerance real,
  judged boolean,
  spring_good boolean,
  height_group smallint,
  free_height real,
  wagon_from text,
  wagon_to text,
  source text CHECK (source IN ('base', 'day')),
  synced_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (line, identifier, measured_at)
) PARTITION BY RANGE (measured_at);

CREATE TABLE measurements_default PARTITION OF measurements DEFAULT;

CREATE INDEX measurements_line_time ON measurements (line, measured_at);
CREATE INDEX measurements_type_time ON measurements (line, bogie_type, spring_type, measured_at);
CREATE INDEX measurements_wagon_from ON measurements (wagon_from);
CREATE INDEX measurements_wagon_to ON measurements (wagon_to);
CREATE INDEX measurements_identifier ON measurements (identifier);

-- The month partition (UTC months) that holds `at`, made when missing. The
-- sync calls it for the months of every batch before inserting; a line's
-- role may call it but cannot create tables itself. Dates outside
-- 2000..2199 (a damaged record) stay in the default partition.
CREATE FUNCTION kalvor_ensure_month(at timestamptz) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
DECLARE
  first timestamp := date_trunc('month', at AT TIME ZONE 'UTC');
  part text := 'measurements_' || to_char(first, 'YYYY_MM');
BEGIN
  IF extract(year FROM first) NOT BETWEEN 2000 AND 2199 THEN
    RETURN;
  END IF;
  IF to_regclass(part) IS NOT NULL THEN
    RETURN;
  END IF;
  -- Two lines syncing at once must not both create it.
  PERFORM pg_advisory_xact_lock(hashtext('kalvor_measurements_partition'));
  IF to_regclass(part) IS NOT NULL THEN
    RETURN;
  END IF;
  EXECUTE format('CREATE TABLE %I PARTITION OF measurements FOR VALUES FROM (%L) TO (%L)',
                 part, (first AT TIME ZONE 'UTC'), ((first + interval '1 month') AT TIME ZONE 'UTC'));
END
$$;
REVOKE ALL ON FUNCTION kalvor_ensure_month(timestamptz) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION kalvor_ensure_month(timestamptz) TO kalvor_lines;

-- The assembled spring sets of every line's Tel.bin; the group arrays hold
-- the seven places 3K, 5K, 1, 2, 4, 6, 7 in that order.
CREATE TABLE sets (
  line text NOT NULL REFERENCES lines(name),
  position bigint NOT NULL,
  bogie_number text,
  bogie_works text,
  bogie_year text,
  set_date date,
  wagon_from text,
  wagon_to text,
  left_number text,
  left_works text,
  left_year text,
  left_outer smallint[],
  left_inner smallint[],
  right_number text,
  right_works text,
  right_year text,
  right_outer smallint[],
  right_inner smallint[],
  synced_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (line, position)
);
CREATE INDEX sets_line_date ON sets (line, set_date);

-- Rights. A line's role sees and moves only its own `lines` row, adds rows
-- of its own line and reads them back; it cannot read other lines, change
-- or delete rows. The reader reads everything and changes nothing.
ALTER TABLE lines ENABLE ROW LEVEL SECURITY;
ALTER TABLE measurements ENABLE ROW LEVEL SECURITY;
ALTER TABLE sets ENABLE ROW LEVEL SECURITY;

CREATE POLICY lines_own_read ON lines FOR SELECT TO kalvor_lines
  USING (role_name = current_user);
CREATE POLICY lines_own_position ON lines FOR UPDATE TO kalvor_lines
  USING (role_name = current_user) WITH CHECK (role_name = current_user);
CREATE POLICY lines_reader ON lines FOR SELECT TO kalvor_reader USING (true);

CREATE POLICY measurements_own_insert ON measurements FOR INSERT TO kalvor_lines
  WITH CHECK (line = (SELECT l.name FROM lines l WHERE l.role_name = current_user));
CREATE POLICY measurements_own_read ON measurements FOR SELECT TO kalvor_lines
  USING (line = (SELECT l.name FROM lines l WHERE l.role_name = current_user));
CREATE POLICY measurements_reader ON measurements FOR SELECT TO kalvor_reader USING (true);

CREATE POLICY sets_own_insert ON sets FOR INSERT TO kalvor_lines
  WITH CHECK (line = (SELECT l.name FROM lines l WHERE l.role_name = current_user));
CREATE POLICY sets_own_read ON sets FOR SELECT TO kalvor_lines
  USING (line = (SELECT l.name FROM lines l WHERE l.role_name = current_user));
CREATE POLICY sets_reader ON sets FOR SELECT TO kalvor_reader USING (true);

GRANT SELECT ON lines, measurements, sets, schema_migrations TO kalvor_reader;
GRANT SELECT ON lines, measurements, sets, schema_migrations TO kalvor_lines;
GRANT UPDATE (last_sync_at, base_records, day_records, sets_records,
              base_check, day_check, sets_check, sets_offset) ON lines TO kalvor_lines;
GRANT INSERT ON measurements, sets TO kalvor_lines;
