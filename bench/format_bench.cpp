// Cost of formatting one record: the layouts are parsed once, as the programs do.
#include <benchmark/benchmark.h>

#include "qx/format.h"

namespace {

void BM_RecordWithOneG135(benchmark::State& state) {
  static const qx::Format kLayout{"(1H ,1P,G13.5)"};
  double v = 1.234567e-3;
  for (auto _ : state) {
    std::string r = kLayout.render({v});
    benchmark::DoNotOptimize(r);
    v += 1e-9;
  }
}
BENCHMARK(BM_RecordWithOneG135);

void BM_ElementLine(benchmark::State& state) {
  static const qx::Format kLayout{"(1H ,/,1H ,2X,I2,1X,A,F5.2,11(1X,1P,G11.4))"};
  for (auto _ : state) {
    std::string r = kLayout.render({7, "Quadrupole", 4.10, 0.1, 0.5, 0.01, 1.25});
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ElementLine);

}  // namespace
