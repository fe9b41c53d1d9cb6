-- The first sync of a line brings its whole base.bin, a million rows and
-- more. Two things cost per row there without paying back:
--
-- * The foreign key to `lines` ran a lookup and a row lock of the line for
--   every inserted row. A line's role can only insert rows of its own line
--   (the insert policy), and `lines` rows are made by `db add-line` and never
--   removed by a line, so the key is kept by refusing to delete or rename a
--   line that has measurements instead, a check made once per line changed.
-- * The identifier had an index of its own beside the primary key (line,
--   identifier, measured_at). With the identifier first in the key, the key
--   serves the search by identifier across lines and by line and identifier
--   alike, and one index less is kept up per row.
ALTER TABLE measurements DROP CONSTRAINT measurements_line_fkey;
ALTER TABLE measurements DROP CONSTRAINT measurements_pkey;
ALTER TABLE measurements ADD PRIMARY KEY (identifier, line, measured_at);
DROP INDEX measurements_identifier;

CREATE FUNCTION kalvor_keep_measured_line() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
  IF (TG_OP = 'DELETE' OR NEW.name IS DISTINCT FROM OLD.name)
     AND EXISTS (SELECT FROM measurements WHERE line = OLD.name) THEN
    RAISE EXCEPTION 'line % has measurements in the depot database', OLD.name
      USING ERRCODE = 'foreign_key_violation';
  END IF;
  RETURN CASE WHEN TG_OP = 'DELETE' THEN OLD ELSE NEW END;
END
$$;
CREATE TRIGGER lines_keep_measured BEFORE DELETE OR UPDATE OF name ON lines
  FOR EACH ROW EXECUTE FUNCTION kalvor_keep_measured_line();
