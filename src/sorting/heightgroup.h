#pragma once
// Height groups of good springs: springs of one set must have nearly the same
// free height (parameter 2), so the line sorts them into nine groups.

// The group 1..9 of a free height H in millimetres, 0 when H lies outside
// every group. For bogie type 1:
//   group 1: 245.9 <= H < 247
//   group g = 2..8: 245 + g <= H < 246 + g
//   group 9: 254 <= H < 255.1
// Bogie type 2 is grouped on H - 10 by the caller.
//
// The bounds 245.9 and 255.1 are compared in double precision: the 32-bit
// real nearest 245.9 lies just below it and the one nearest 255.1 just above
// it, so a height stored as either is in no group.
int HeightGroup(float height);

// The group of a good spring's free height as the line sorts it: bogie type
// 1 on the height itself, bogie type 2 on the height less 10 mm; -1 for the
// other bogie types, which are not sorted into groups.
int BogieHeightGroup(float height, int bogieType);

// The bounds of group g (1..9): lower bound inclusive, upper exclusive, for
// showing; group 1's lower and group 9's upper bound are the 32-bit reals
// nearest 245.9 and 255.1, which themselves lie outside the groups.
float HeightGroupLower(int group);
float HeightGroupUpper(int group);
