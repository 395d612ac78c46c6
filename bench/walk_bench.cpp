// Cost of one system walk: STIG, MASK and AGP run it thousands of times. Budgets on the
// development machine: 5 microseconds at first order and 50 at third order for a system of 20
// elements between the beam row and the System End.
#include <benchmark/benchmark.h>

#include "bench_system.h"
#include "optics/walk.h"

namespace {

using bench::BenchSystem;

// One walk of the bench system per iteration at the given order code. The walk takes the
// table, the results and its settings; nothing else of the program.
void walk_loop(benchmark::State& state, int order) {
  BenchSystem b;
  vorne::WalkSettings settings;
  settings.order = order;
  settings.level = b.v.idiag;
  settings.terminal = &b.term;
  for (auto _ : state) {
    vorne::system_walk(b.v.sys, b.v.walk, settings);
    benchmark::DoNotOptimize(b.v.walk);
  }
}

void BM_WalkFirstOrder(benchmark::State& state) { walk_loop(state, 1); }
BENCHMARK(BM_WalkFirstOrder);

void BM_WalkThirdOrder(benchmark::State& state) { walk_loop(state, 3); }
BENCHMARK(BM_WalkThirdOrder);

// Third order without the second-order map (the fits' aberration objectives), and the map
// alone at second order.
void BM_WalkThirdOrderNoMap(benchmark::State& state) { walk_loop(state, -3); }
BENCHMARK(BM_WalkThirdOrderNoMap);

void BM_WalkSecondOrder(benchmark::State& state) { walk_loop(state, 2); }
BENCHMARK(BM_WalkSecondOrder);

// The 14x14 product the third-order walk forms once per element, with a dense element map:
// the part of a mode-3 walk that does not depend on the aberration routines.
void BM_SecondOrderProduct(benchmark::State& state) {
  vorne::Mat14 a = vorne::Mat14::identity();
  vorne::Mat14 b = vorne::Mat14::identity();
  for (int i = 1; i <= 14; ++i)
    for (int j = 1; j <= 14; ++j) a(i, j) = 1.0 / (i + j);
  for (auto _ : state) {
    vorne::mul_left(a, b);
    benchmark::DoNotOptimize(b);
    b = vorne::Mat14::identity();
  }
}
BENCHMARK(BM_SecondOrderProduct);

}  // namespace
