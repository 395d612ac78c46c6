// Cost of the integrated third-order map. Budget on the development machine: AB3/N of a
// system of 20 elements between the beam row and the System End under 0.2 s at the
// hard-edge limit (the walks, the map and the report together). The bench system's solenoid
// is passed by its formula at that limit; at a 2 mm fringe it is integrated too.
#include <benchmark/benchmark.h>

#include "bench_system.h"
#include "optics/integrated_map.h"
#include "session/walks.h"
#include "qx/command.h"
#include "qx/units.h"
#include "reports/integrated_report.h"

namespace {

using bench::BenchSystem;

// The whole AB3/N command at the hard-edge limit.
void BM_Ab3IntegratedHardEdge(benchmark::State& state) {
  BenchSystem b;
  qx::CommandLine line;
  line.option = 'N';
  for (auto _ : state) {
    vorne::ab3_integrated(b.v, line);
    benchmark::DoNotOptimize(b.term);
    b.term.clear();
  }
}
BENCHMARK(BM_Ab3IntegratedHardEdge)->Unit(benchmark::kMillisecond);

// The map alone, at the hard-edge limit and at a 2 mm fringe.
void map_loop(benchmark::State& state, double fringe) {
  BenchSystem b;
  vorne::system_walk(b.v, 3);
  vorne::MapSettings settings;
  settings.fringe = fringe;
  for (auto _ : state) benchmark::DoNotOptimize(vorne::integrated_map(b.v.sys, b.v.walk.element_matrix, settings));
}
void BM_MapHardEdge(benchmark::State& state) { map_loop(state, 0.0); }
BENCHMARK(BM_MapHardEdge)->Unit(benchmark::kMillisecond);
void BM_MapFringe2mm(benchmark::State& state) { map_loop(state, 0.002); }
BENCHMARK(BM_MapFringe2mm)->Unit(benchmark::kMillisecond);

}  // namespace
