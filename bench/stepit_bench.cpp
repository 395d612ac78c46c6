// Cost of the minimiser's own bookkeeping: cheap objectives, so the figures are STEPIT's
// overhead per fit (the design program's objective, a system walk, dominates in practice).
#include <benchmark/benchmark.h>

#include <cmath>

#include "qx/stepit.h"

namespace {

double rosenbrock(std::span<const double> x) {
  double sum = 0.0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    const double a = x[i + 1] - x[i] * x[i];
    const double b = 1.0 - x[i];
    sum += 100.0 * a * a + b * b;
  }
  return sum;
}

void BM_RosenbrockFit(benchmark::State& state) {
  const int nv = static_cast<int>(state.range(0));
  qx::StepitSettings s;
  s.nv = nv;
  s.ntrace = -1;
  for (int i = 0; i < nv; ++i) s.x[i] = i % 2 == 0 ? -1.2 : 1.0;
  qx::StringOutput out;
  long evaluations = 0;
  for (auto _ : state) {
    const qx::StepitResult r = qx::stepit(s, [](std::span<const double> x, int) { return rosenbrock(x); }, out);
    evaluations = r.nfunc;
    benchmark::DoNotOptimize(r.fobj);
  }
  state.counters["evaluations"] = static_cast<double>(evaluations);
}
BENCHMARK(BM_RosenbrockFit)->Arg(2)->Arg(5)->Arg(20);

void BM_ErrorMatrix20(benchmark::State& state) {
  qx::StepitSettings s;
  s.nv = 20;
  s.ntrace = -1;
  s.matrx = 104;
  for (int i = 0; i < 20; ++i) s.x[i] = 1.0;
  qx::StringOutput out;
  for (auto _ : state) {
    const qx::StepitResult r = qx::stepit(
        s,
        [](std::span<const double> x, int) {
          double sum = 0.0;
          for (std::size_t i = 0; i < x.size(); ++i)
            sum += (i + 1.0) * x[i] * x[i] + (i > 0 ? 0.3 * x[i] * x[i - 1] : 0.0);
          return sum;
        },
        out);
    benchmark::DoNotOptimize(r.err[0][0]);
  }
}
BENCHMARK(BM_ErrorMatrix20);

}  // namespace
