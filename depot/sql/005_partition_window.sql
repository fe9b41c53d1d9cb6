-- Month partitions only for months from January 2000 to the month after the
-- present: a line's role calls kalvor_ensure_month with the owner's rights,
-- and every partition more slows the planning of every query, so a wrong
-- clock or a caller of its own cannot make them at will. Rows of other
-- months stay in the default partition; when their month comes within the
-- window, its partition is made and they move into it.
CREATE OR REPLACE FUNCTION kalvor_ensure_month(at timestamptz) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
DECLARE
  first timestamp := date_trunc('month', at AT TIME ZONE 'UTC');
  last_allowed timestamp := date_trunc('month', (now() AT TIME ZONE 'UTC') + interval '1 month');
  part text := 'measurements_' || to_char(first, 'YYYY_MM');
  lo timestamptz := first AT TIME ZONE 'UTC';
  hi timestamptz := (first + interval '1 month') AT TIME ZONE 'UTC';
BEGIN
  IF first < timestamp '2000-01-01' OR first > last_allowed THEN
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
  -- The month's rows already in the default partition move into the new one
  -- (the partition could not be made over them); they are counted in the
  -- summaries already, and moving them between partitions fires no trigger
  -- of the parent.
  CREATE TEMP TABLE IF NOT EXISTS kalvor_moving_rows (LIKE measurements) ON COMMIT DELETE ROWS;
  TRUNCATE kalvor_moving_rows;
  WITH moved AS (DELETE FROM measurements_default WHERE measured_at >= lo AND measured_at < hi RETURNING *)
  INSERT INTO kalvor_moving_rows SELECT * FROM moved;
  EXECUTE format('CREATE TABLE %I PARTITION OF measurements FOR VALUES FROM (%L) TO (%L)', part, lo, hi);
  EXECUTE format('INSERT INTO %I SELECT * FROM kalvor_moving_rows', part);
END
$$;
