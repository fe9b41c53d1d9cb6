// The spring lists of the sorting mode and the selection of a set from them.

#include "sorting/springlists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "config/settings.h"

namespace {

class SpringLists : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetAvailableSprings();
  }
  void TearDown() override {
    ResetAvailableSprings();
    ResetSettingsModule();
  }

  // Fills the lists in the given order, then sorts them as every entry does.
  static void Fill(const std::vector<int>& outer, const std::vector<int>& inner) {
    ResetAvailableSprings();
    for (int g : outer) ASSERT_TRUE(AppendSprings(SpringKind::Outer, g));
    for (int g : inner) ASSERT_TRUE(AppendSprings(SpringKind::Inner, g));
    SortSpringLists();
    CountSpringGroups();
  }

  static std::vector<QString> Texts(const std::vector<int>& groups) {
    std::vector<QString> t;
    for (int g : groups) t.push_back("гр. " + QString::number(g));
    return t;
  }
  static std::vector<QString> Proposed(const std::array<QString, kSetPositions + 1>& a) {
    return {a.begin() + 1, a.end()};
  }
};

// The rule read as plainly as it can be: every pair of seven-entry windows,
// the first whose fourteen groups span at most r4_mmm - 1, smallest outer
// start first, then smallest inner start.
SetWindow BruteForce(const std::vector<int>& o, const std::vector<int>& in, int span) {
  for (int i = 0; i + 7 <= int(o.size()); ++i)
    for (int j = 0; j + 7 <= int(in.size()); ++j) {
      int lo = 100, hi = -100;
      for (int k = 0; k < 7; ++k) {
        lo = std::min({lo, o[i + k], in[j + k]});
        hi = std::max({hi, o[i + k], in[j + k]});
      }
      if (hi - lo <= span - 1) return {i + 1, j + 1};
    }
  return {};
}

TEST_F(SpringLists, SelectionAgreesWithEveryWindowPairOnRandomLists) {
  std::mt19937 rng(20240611);
  int found = 0, notFound = 0;
  for (int round = 0; round < 4000; ++round) {
    // Short lists often, full ones sometimes; narrow group ranges make sets
    // likely, wide ones rare.
    std::uniform_int_distribution<int> len(0, round % 4 == 0 ? 190 : 30);
    const int lowest = std::uniform_int_distribution<int>(0, 9)(rng);
    const int highest = std::uniform_int_distribution<int>(lowest, 9)(rng);
    std::uniform_int_distribution<int> group(lowest, highest);
    std::vector<int> o(len(rng)), in(len(rng));
    for (int& g : o) g = group(rng);
    for (int& g : in) g = group(rng);
    const int span = std::uniform_int_distribution<int>(-1, 10)(rng);
    Settings.Depo.r4_mmm = span;
    Fill(o, in);
    SelectSet();

    std::sort(o.rbegin(), o.rend());
    std::sort(in.rbegin(), in.rend());
    const SetWindow expected = BruteForce(o, in, span);
    ASSERT_EQ(AvailableSprings.SetFound, expected.outer != 0) << "round " << round;
    ASSERT_EQ(AvailableSprings.OuterStart, expected.outer) << "round " << round;
    ASSERT_EQ(AvailableSprings.InnerStart, expected.inner) << "round " << round;
    if (expected.outer == 0) {
      ++notFound;
      ASSERT_EQ(Proposed(AvailableSprings.ProposedOuter), std::vector<QString>(7, "---"));
      ASSERT_EQ(Proposed(AvailableSprings.ProposedInner), std::vector<QString>(7, "---"));
      continue;
    }
    ++found;
    ASSERT_EQ(Proposed(AvailableSprings.ProposedOuter),
              Texts({o.begin() + expected.outer - 1, o.begin() + expected.outer + 6}));
    ASSERT_EQ(Proposed(AvailableSprings.ProposedInner),
              Texts({in.begin() + expected.inner - 1, in.begin() + expected.inner + 6}));
  }
  // Both outcomes were exercised many times.
  EXPECT_GT(found, 500);
  EXPECT_GT(notFound, 500);
}

TEST_F(SpringLists, TheExamplesOfTheSpanRule) {
  Settings.Depo.r4_mmm = 4;
  Fill({7, 7, 6, 6, 5, 5, 4}, {6, 6, 6, 5, 5, 5, 5});
  SelectSet();
  EXPECT_TRUE(AvailableSprings.SetFound);
  EXPECT_EQ(Proposed(AvailableSprings.ProposedOuter), Texts({7, 7, 6, 6, 5, 5, 4}));
  EXPECT_EQ(Proposed(AvailableSprings.ProposedInner), Texts({6, 6, 6, 5, 5, 5, 5}));

  // Eight down to four spans five groups.
  Fill({8, 7, 7, 6, 6, 5, 5}, {5, 5, 5, 5, 5, 5, 4});
  SelectSet();
  EXPECT_FALSE(AvailableSprings.SetFound);
  EXPECT_EQ(Proposed(AvailableSprings.ProposedOuter), std::vector<QString>(7, "---"));

  // Thirteen outer of one group: the first seven.
  Fill(std::vector<int>(13, 5), std::vector<int>(7, 5));
  SelectSet();
  EXPECT_TRUE(AvailableSprings.SetFound);
  EXPECT_EQ(AvailableSprings.OuterStart, 1);
  EXPECT_EQ(AvailableSprings.InnerStart, 1);

  // Six springs never make a set, however close.
  Fill(std::vector<int>(6, 5), std::vector<int>(20, 5));
  SelectSet();
  EXPECT_FALSE(AvailableSprings.SetFound);
  Fill(std::vector<int>(20, 5), std::vector<int>(6, 5));
  SelectSet();
  EXPECT_FALSE(AvailableSprings.SetFound);
}

TEST_F(SpringLists, TheProposalMayStartBelowTheHighestSprings) {
  Settings.Depo.r4_mmm = 2;
  Fill({9, 9, 5, 5, 5, 5, 5, 5, 5, 4}, {9, 5, 5, 5, 5, 5, 5, 5});
  SelectSet();
  ASSERT_TRUE(AvailableSprings.SetFound);
  EXPECT_EQ(AvailableSprings.OuterStart, 3);
  EXPECT_EQ(AvailableSprings.InnerStart, 2);
  EXPECT_EQ(Proposed(AvailableSprings.ProposedOuter), Texts({5, 5, 5, 5, 5, 5, 5}));
}

TEST_F(SpringLists, EntriesAreSortedDescendingAndCountedPerGroup) {
  Fill({3, 9, 1, 9, 5}, {2, 2, 8});
  const auto& s = AvailableSprings;
  EXPECT_EQ(std::vector<int>(s.OuterGroups.begin() + 1, s.OuterGroups.begin() + 6),
            (std::vector<int>{9, 9, 5, 3, 1}));
  EXPECT_EQ(std::vector<int>(s.InnerGroups.begin() + 1, s.InnerGroups.begin() + 4),
            (std::vector<int>{8, 2, 2}));
  EXPECT_EQ(s.OuterPerGroup[9], 2);
  EXPECT_EQ(s.OuterPerGroup[4], 0);
  EXPECT_EQ(s.InnerPerGroup[2], 2);
  EXPECT_EQ(s.InnerPerGroup[8], 1);
}

TEST_F(SpringLists, AListHoldsAtMost190Springs) {
  EXPECT_TRUE(AppendSprings(SpringKind::Outer, 5, 189));
  EXPECT_FALSE(AppendSprings(SpringKind::Outer, 5, 2));  // a group is taken whole or not at all
  EXPECT_EQ(SpringCount(SpringKind::Outer), 189);
  EXPECT_TRUE(AppendSprings(SpringKind::Outer, 4));
  EXPECT_FALSE(AppendSprings(SpringKind::Outer, 4));
  EXPECT_EQ(SpringCount(SpringKind::Outer), 190);
  EXPECT_EQ(SpringCount(SpringKind::Inner), 0);  // the other list is its own

  // A ready-made set goes only into a list that takes all seven.
  ResetAvailableSprings();
  ASSERT_TRUE(AppendSprings(SpringKind::Inner, 1, 183));
  ASSERT_TRUE(AppendSprings(SpringKind::Outer, 1, 184));
  EXPECT_EQ(AppendReadySet({9, 9, 8, 8, 7, 7, 6}), 1);
  EXPECT_EQ(SpringCount(SpringKind::Inner), 190);
  EXPECT_EQ(SpringCount(SpringKind::Outer), 184);
  EXPECT_EQ(AvailableSprings.InnerGroups[1], 9);  // sorted in
  EXPECT_EQ(AvailableSprings.InnerPerGroup[8], 2);
  EXPECT_EQ(AppendReadySet({9, 9, 8, 8, 7, 7, 6}), 0);
  EXPECT_EQ(SpringCount(SpringKind::Inner), 190);
  EXPECT_EQ(SpringCount(SpringKind::Outer), 184);
}

TEST_F(SpringLists, ReadySetsKeepTheFirstWindow) {
  // "9-6" on empty lists gives a set of groups 9..6; "4-1" after it adds
  // springs below without moving the proposal.
  AppendReadySet({9, 9, 8, 8, 7, 7, 6});
  SelectSet();
  ASSERT_TRUE(AvailableSprings.SetFound);
  EXPECT_EQ(Proposed(AvailableSprings.ProposedInner), Texts({9, 9, 8, 8, 7, 7, 6}));
  AppendReadySet({4, 4, 3, 3, 2, 2, 1});
  SelectSet();
  EXPECT_EQ(SpringCount(SpringKind::Outer), 14);
  EXPECT_EQ(AvailableSprings.OuterStart, 1);
  EXPECT_EQ(Proposed(AvailableSprings.ProposedOuter), Texts({9, 9, 8, 8, 7, 7, 6}));
}

}  // namespace
