-- The lines page's attention matrix reads, for every line and spring type of
-- a period, the shifts of free height and diameter and the month's pooled
-- values from measurement_param_hours, and the day's counts and the latest
-- measurement from measurement_hours, each over all types at once by time.
-- The summaries' own indexes lead with the type or the line; these lead with
-- the hour and hold what the matrix reads, so it reads the indexes alone.
-- The shifts are pooled from the hours exactly as the type page pools them.
CREATE INDEX measurement_param_hours_charted ON measurement_param_hours (hour)
  INCLUDE (line, bogie_type, spring_type, param, p_min, p_max, p_tolerance, n, mean, m2)
  WHERE param IN (1, 2);
CREATE INDEX measurement_hours_counts ON measurement_hours (hour)
  INCLUDE (line, bogie_type, spring_type, records, judged, good, bogie_name, spring_name, last_measured);
DROP INDEX measurement_hours_time;
