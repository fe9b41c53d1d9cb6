-- The type page's causes of rejection read the rejected records of a type
-- and period with all their values and norms. Those are a few in a hundred
-- of the rows, but found through the type's index they cost a read of every
-- row of the period (some 300 000 rows, 400 MB, of a busy type over 60
-- days). This index holds only the rejected records that count, so the page
-- reads those alone; a sync adds to it only the records it rejects.
CREATE INDEX measurements_rejected ON measurements (bogie_type, spring_type, measured_at)
  WHERE judged AND spring_good IS FALSE AND NOT emulated;
