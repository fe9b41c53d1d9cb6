-- A set is what it records: the bogie, both side frames with their spring
-- groups, the date and the wagons. A Tel.bin restored from a backup, or one
-- copied again after it was emptied, brings sets the database has already:
-- they are recognised by their content and stay one row, while sets new to
-- the line are numbered on after its last position as before. Byte-equal
-- copies of one set within a file are one set too.

-- Sets a restored file added twice before this: the first copy stays.
DELETE FROM sets s USING sets k
WHERE s.line = k.line AND s.position > k.position
  AND s.bogie_number IS NOT DISTINCT FROM k.bogie_number
  AND s.bogie_works IS NOT DISTINCT FROM k.bogie_works
  AND s.bogie_year IS NOT DISTINCT FROM k.bogie_year
  AND s.set_date IS NOT DISTINCT FROM k.set_date
  AND s.wagon_from IS NOT DISTINCT FROM k.wagon_from
  AND s.wagon_to IS NOT DISTINCT FROM k.wagon_to
  AND s.left_number IS NOT DISTINCT FROM k.left_number
  AND s.left_works IS NOT DISTINCT FROM k.left_works
  AND s.left_year IS NOT DISTINCT FROM k.left_year
  AND s.left_outer IS NOT DISTINCT FROM k.left_outer
  AND s.left_inner IS NOT DISTINCT FROM k.left_inner
  AND s.right_number IS NOT DISTINCT FROM k.right_number
  AND s.right_works IS NOT DISTINCT FROM k.right_works
  AND s.right_year IS NOT DISTINCT FROM k.right_year
  AND s.right_outer IS NOT DISTINCT FROM k.right_outer
  AND s.right_inner IS NOT DISTINCT FROM k.right_inner;

-- A set without a readable date is still one set: nulls are equal here.
ALTER TABLE sets ADD CONSTRAINT sets_content UNIQUE NULLS NOT DISTINCT
  (line, bogie_number, bogie_works, bogie_year, set_date, wagon_from, wagon_to,
   left_number, left_works, left_year, left_outer, left_inner,
   right_number, right_works, right_year, right_outer, right_inner);
