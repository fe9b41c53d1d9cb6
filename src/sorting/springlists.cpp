#include "sorting/springlists.h"

#include <algorithm>
#include <functional>

#include "config/settings.h"

TAvailableSprings AvailableSprings;

namespace {

int& CountOf(SpringKind kind) {
  return kind == SpringKind::Outer ? AvailableSprings.OuterCount : AvailableSprings.InnerCount;
}

std::array<uint8_t, 201>& GroupsOf(SpringKind kind) {
  return kind == SpringKind::Outer ? AvailableSprings.OuterGroups : AvailableSprings.InnerGroups;
}

void ClearProposal() {
  AvailableSprings.SetFound = false;
  AvailableSprings.OuterStart = 0;
  AvailableSprings.InnerStart = 0;
  for (int k = 1; k <= kSetPositions; ++k) {
    AvailableSprings.ProposedOuter[k] = QStringLiteral("---");
    AvailableSprings.ProposedInner[k] = QStringLiteral("---");
  }
}

QString GroupText(uint8_t group) {
  return QStringLiteral("гр. ") + QString::number(group % 10);
}

// Both ends of a run of one descending list: the run spans at most `span`
// groups.
bool Close(int a, int b, int span) {
  return a >= b && a - b <= span - 1;
}

}  // namespace

void ResetAvailableSprings() {
  AvailableSprings = TAvailableSprings{};
  ClearProposal();
}

void SpringListsShiftChangeListener() {
  ResetAvailableSprings();
}

int SpringCount(SpringKind kind) {
  return CountOf(kind);
}

bool AppendSprings(SpringKind kind, int group, int count) {
  int& n = CountOf(kind);
  if (count < 0 || n + count > kSpringListCapacity) return false;
  auto& groups = GroupsOf(kind);
  for (int k = 0; k < count; ++k) groups[++n] = static_cast<uint8_t>(group);
  return true;
}

int AppendReadySet(const std::array<uint8_t, kSetPositions>& groups) {
  int taken = 0;
  for (SpringKind kind : {SpringKind::Inner, SpringKind::Outer}) {
    if (CountOf(kind) + kSetPositions > kSpringListCapacity) continue;
    for (uint8_t g : groups) AppendSprings(kind, g);
    ++taken;
  }
  SortSpringLists();
  CountSpringGroups();
  return taken;
}

void SortSpringLists() {
  // Descending, the highest groups first. Any order-keeping sort gives the
  // same list; std::sort spares the restart-from-the-top walk its quadratic
  // passes over a full list.
  for (SpringKind kind : {SpringKind::Inner, SpringKind::Outer}) {
    auto& groups = GroupsOf(kind);
    std::sort(groups.begin() + 1, groups.begin() + 1 + CountOf(kind), std::greater<uint8_t>());
  }
}

void CountSpringGroups() {
  auto& s = AvailableSprings;
  s.OuterPerGroup.fill(0);
  s.InnerPerGroup.fill(0);
  for (int k = 1; k <= s.OuterCount; ++k)
    if (s.OuterGroups[k] >= 1 && s.OuterGroups[k] <= 9) ++s.OuterPerGroup[s.OuterGroups[k]];
  for (int k = 1; k <= s.InnerCount; ++k)
    if (s.InnerGroups[k] >= 1 && s.InnerGroups[k] <= 9) ++s.InnerPerGroup[s.InnerGroups[k]];
}

SetWindow FindSetWindow(const uint8_t* outer, int outerCount, const uint8_t* inner,
                        int innerCount, int span) {
  // 1-based as the rule reads: O[i] is outer[i - 1].
  auto O = [outer](int i) { return static_cast<int>(outer[i - 1]); };
  auto I = [inner](int j) { return static_cast<int>(inner[j - 1]); };
  for (int i = 1; i + 6 <= outerCount; ++i) {
    if (!Close(O(i), O(i + 6), span)) continue;
    for (int j = 1; j + 6 <= innerCount; ++j) {
      if (!Close(I(j), I(j + 6), span)) continue;
      const bool fits =
          I(j) >= O(i) ? Close(I(j), O(i + 6), span) : Close(O(i), I(j + 6), span);
      if (fits) return {i, j};
    }
  }
  return {};
}

void SelectSet() {
  auto& s = AvailableSprings;
  ClearProposal();
  const SetWindow w = FindSetWindow(&s.OuterGroups[1], s.OuterCount, &s.InnerGroups[1],
                                    s.InnerCount, Settings.Depo.r4_mmm);
  if (w.outer == 0) return;
  for (int k = 1; k <= kSetPositions; ++k) {
    s.ProposedOuter[k] = GroupText(s.OuterGroups[w.outer + k - 1]);
    s.ProposedInner[k] = GroupText(s.InnerGroups[w.inner + k - 1]);
  }
  s.OuterStart = w.outer;
  s.InnerStart = w.inner;
  s.SetFound = true;
}
