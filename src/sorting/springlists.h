#pragma once
// The springs at hand while a set is being selected: two lists of height
// groups, one of outer and one of inner springs, each kept in descending
// order so that the highest groups come first, the count of each group in
// them, and the set the selection proposes from them.

#include <QString>
#include <array>
#include <cstdint>

// A list takes at most this many springs; entries beyond it are ignored.
constexpr int kSpringListCapacity = 190;
// Springs of one kind in the set of one side frame.
constexpr int kSetPositions = 7;

enum class SpringKind { Inner, Outer };

struct TAvailableSprings {
  int OuterCount = 0;
  std::array<uint8_t, 201> OuterGroups{};  // [1..OuterCount], descending
  int InnerCount = 0;
  std::array<uint8_t, 201> InnerGroups{};  // [1..InnerCount], descending
  std::array<uint8_t, 10> OuterPerGroup{};  // [1..9]
  std::array<uint8_t, 10> InnerPerGroup{};  // [1..9]
  // The proposed set by position [1..7]: "гр. " and the group digit, or
  // "---" when no set was found.
  std::array<QString, kSetPositions + 1> ProposedOuter;
  std::array<QString, kSetPositions + 1> ProposedInner;
  bool SetFound = false;
  // Where the proposal starts in each list (1-based), 0 without one. The
  // accepted set is taken from here, so that what is stored is what the
  // operator saw proposed.
  int OuterStart = 0;
  int InnerStart = 0;
};

extern TAvailableSprings AvailableSprings;

// Empties both lists and drops the proposal (the selection page when it
// opens, its key "Новый компл.", the tests).
void ResetAvailableSprings();
// Installed by the program as the database's shift-change listener: a new
// shift starts with empty lists.
void SpringListsShiftChangeListener();

int SpringCount(SpringKind kind);
// Appends `count` springs of `group` to one list when the list then holds at
// most kSpringListCapacity; otherwise adds nothing and returns false. The
// list is not sorted here (SortSpringLists).
bool AppendSprings(SpringKind kind, int group, int count = 1);
// The ready-made sets of the assembly form: the seven groups are appended to
// the inner list, then to the outer list, each list taking them only when
// all seven fit; then both lists are sorted and recounted. Returns how many
// lists took them (0..2).
int AppendReadySet(const std::array<uint8_t, kSetPositions>& groups);
// Sorts both lists in descending order.
void SortSpringLists();
// Recounts the springs of each group 1..9 in both lists.
void CountSpringGroups();

// The selection: seven consecutive outer and seven consecutive inner springs
// whose fourteen groups lie within [Depo] r4_mmm - 1 of one another, the
// highest groups first. Fills the proposal, the start positions and
// SetFound. The lists must be sorted.
void SelectSet();

// The window the selection takes from two descending lists (outer[0] and
// inner[0] their first entries) for a span of `span` groups ([Depo]
// r4_mmm): the first fitting pair (smallest start in the outer list, then
// in the inner list) as 1-based positions, or {0, 0} when none fits.
struct SetWindow {
  int outer = 0;
  int inner = 0;
};
SetWindow FindSetWindow(const uint8_t* outer, int outerCount, const uint8_t* inner,
                        int innerCount, int span);
