// Speed of the set selection on two full spring lists (190 each): the worst
// case, where every seven-entry run of each list is close within itself but
// no outer run fits any inner run, so every pair is tried; a full pair of
// lists with the set at the bottom; and the sort of a full list entered in
// ascending order.

#include <benchmark/benchmark.h>

#include "config/settings.h"
#include "sorting/springlists.h"

namespace {

void FillBoth(int outerGroup, int innerGroup) {
  ResetAvailableSprings();
  AppendSprings(SpringKind::Outer, outerGroup, kSpringListCapacity);
  AppendSprings(SpringKind::Inner, innerGroup, kSpringListCapacity);
}

void BM_SelectSetNoPairFits(benchmark::State& state) {
  ResetSettingsModule();  // r4_mmm 4
  FillBoth(9, 1);
  for (auto _ : state) {
    SelectSet();
    benchmark::DoNotOptimize(AvailableSprings.SetFound);
  }
  if (AvailableSprings.SetFound) state.SkipWithError("a set was found");
}
BENCHMARK(BM_SelectSetNoPairFits)->Unit(benchmark::kMicrosecond);

void BM_SelectSetFoundAtTheBottom(benchmark::State& state) {
  ResetSettingsModule();
  ResetAvailableSprings();
  // 183 outer of group 9 over seven of group 2; 183 inner of group 1 over
  // seven of group 2: only the last runs fit.
  AppendSprings(SpringKind::Outer, 9, 183);
  AppendSprings(SpringKind::Outer, 2, 7);
  AppendSprings(SpringKind::Inner, 2, 7);
  AppendSprings(SpringKind::Inner, 1, 183);
  SortSpringLists();
  for (auto _ : state) {
    SelectSet();
    benchmark::DoNotOptimize(AvailableSprings.SetFound);
  }
  if (!AvailableSprings.SetFound) state.SkipWithError("no set found");
}
BENCHMARK(BM_SelectSetFoundAtTheBottom)->Unit(benchmark::kMicrosecond);

void BM_SortFullLists(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    ResetAvailableSprings();
    for (int k = 0; k < kSpringListCapacity; ++k) {
      AppendSprings(SpringKind::Outer, 1 + k * 9 / kSpringListCapacity);
      AppendSprings(SpringKind::Inner, 1 + k * 9 / kSpringListCapacity);
    }
    state.ResumeTiming();
    SortSpringLists();
    CountSpringGroups();
  }
}
BENCHMARK(BM_SortFullLists)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
