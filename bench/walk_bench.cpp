// Cost of one system walk: STIG, MASK and AGP run it thousands of times. Budgets on the
// development machine: 5 microseconds at first order and 50 at third order for a system of 20
// elements between the beam row and the System End.
#include <benchmark/benchmark.h>

#include <memory>

#include "qx/units.h"
#include "session/state.h"
#include "optics/walk.h"

namespace {

// A probe-forming system of 20 elements: object drift and collimator, a quadruplet with a
// supra octupole on each lens, a separate octupole, a sextupole, a solenoid and image drift.
struct BenchSystem {
  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("")};

  BenchSystem() {
    vorne::LensSystem& s = v.sys;
    const double particle[] = {0.0, 1.0, 1.00728, 3.0, -1.0};
    const double beam[] = {1.0, 5e-6, 2e-4, 5e-6, 2e-4, 0.01};
    for (int c = 1; c <= 5; ++c) s.p(1, c) = particle[c - 1];
    s.p(1, 12) = 3.0;
    for (int c = 1; c <= 6; ++c) s.p(2, c) = beam[c - 1];
    const double rows[][4] = {{3.0, 3.5, 0, 0},      {5.0, 0.0, 0.0, 1e-4},   {3.0, 0.5, 0, 0},
                              {4.10, 0.06, 0.0886, 0.006}, {28.0, 0.06, 0.01, 0.006}, {3.0, 0.03, 0, 0},
                              {4.02, 0.06, -0.2311, 0.006}, {28.0, 0.06, -0.01, 0.006}, {3.0, 0.03, 0, 0},
                              {4.20, 0.06, 0.2311, 0.006},  {28.0, 0.06, 0.01, 0.006},  {3.0, 0.03, 0, 0},
                              {4.01, 0.06, -0.0886, 0.006}, {28.0, 0.06, -0.01, 0.006}, {3.0, 0.02, 0, 0},
                              {8.0, 0.05, 0.02, 0.01},      {6.0, 0.05, 0.01, 0.01},    {11.0, 0.05, 0.01, 0.02},
                              {3.0, 0.02, 0, 0},            {3.0, 0.2, 0, 0},           {9.0, 0, 0, 0}};
    int iz = 3;
    for (const auto& r : rows) {
      for (int c = 1; c <= 4; ++c) s.p(iz, c) = r[c - 1];
      ++iz;
    }
    s.izend = iz - 1;
    v.refresh_diagnostic();
  }
};

// One walk of the bench system per iteration at the given order code.
void walk_loop(benchmark::State& state, int order) {
  BenchSystem b;
  for (auto _ : state) {
    vorne::system_walk(b.v, order);
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
