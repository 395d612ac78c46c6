// Cost of a trace and of an astigmatism scan on the 20-element bench system. Budgets: a
// 250-step trace (the evaluations only, no drawing) under 5 ms at first order and under 50 ms at
// third order; SPEC over 1000 planes, file included, under 20 ms.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "bench_system.h"
#include "optics/truncated.h"
#include "qx/command.h"
#include "reports/astigmatism_scan.h"
#include "scratch_dir.h"
#include "session/walks.h"

namespace {

using bench::BenchSystem;

constexpr int kTraceSteps = 250;

// The steps of one trace: the system cut at each of 251 planes over 1.05 times its length.
void trace_loop(benchmark::State& state, int order) {
  BenchSystem b;
  vorne::system_walk(b.v, 1);
  vorne::Vec4 beam;
  for (int i = 1; i <= 4; ++i) beam(i) = b.v.sys.p(2, i + 1);
  const double step = 1.05 * vorne::plain_length(b.v.sys) / kTraceSteps;
  const vorne::WalkSettings settings = vorne::walk_settings(b.v);
  for (auto _ : state) {
    for (int k = 0; k <= kTraceSteps; ++k) {
      const vorne::TruncatedResult r =
          vorne::evaluate_truncated(b.v.sys, b.v.walk, settings, order, k * step, step, beam);
      benchmark::DoNotOptimize(r);
    }
  }
}

void BM_TraceFirstOrder250(benchmark::State& state) { trace_loop(state, 1); }
BENCHMARK(BM_TraceFirstOrder250)->Unit(benchmark::kMillisecond);

void BM_TraceThirdOrder250(benchmark::State& state) { trace_loop(state, 3); }
BENCHMARK(BM_TraceThirdOrder250)->Unit(benchmark::kMillisecond);

// SPEC as typed: the name from the command, the range and 1000 steps answered from a macro,
// the file written. The file is removed between runs (SPEC writes new files only).
void BM_Spec1000(benchmark::State& state) {
  const ScratchDir scratch("trace_bench");
  BenchSystem b;
  {
    std::ofstream answers("answers.vcm");
    answers << "0 0 1000\n";
  }
  const qx::CommandLine line = qx::prepare_line("SPEC scan.dat", b.v.qx);
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove("scan.dat");
    b.v.input.push("answers.vcm");
    b.term.clear();
    state.ResumeTiming();
    vorne::cmd_spec(b.v, line);
    state.PauseTiming();
    b.v.input.pop();
    state.ResumeTiming();
  }
  if (!std::filesystem::exists("scan.dat")) state.SkipWithError("SPEC wrote no file");
}
BENCHMARK(BM_Spec1000)->Unit(benchmark::kMillisecond);

}  // namespace
