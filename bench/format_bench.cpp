// Cost of formatting records: the layouts are parsed once, as the programs do.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

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

// The same in F form (a value inside G's range).
void BM_RecordWithOneG135FForm(benchmark::State& state) {
  static const qx::Format kLayout{"(1H ,1P,G13.5)"};
  double v = 12.34567;
  for (auto _ : state) {
    std::string r = kLayout.render({v});
    benchmark::DoNotOptimize(r);
    v += 1e-9;
  }
}
BENCHMARK(BM_RecordWithOneG135FForm);

// A value exactly halfway: the exact expansion is needed to settle the rounding.
void BM_RecordWithExactTie(benchmark::State& state) {
  static const qx::Format kLayout{"(1H ,F5.2)"};
  for (auto _ : state) {
    std::string r = kLayout.render({0.125});
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_RecordWithExactTie);

void BM_ElementLine(benchmark::State& state) {
  static const qx::Format kLayout{"(1H ,/,1H ,2X,I2,1X,A,F5.2,11(1X,1P,G11.4))"};
  for (auto _ : state) {
    std::string r = kLayout.render({7, "Quadrupole", 4.10, 0.1, 0.5, 0.01, 1.25});
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ElementLine);

// STEPIT's reverting layout with 25 values over three records.
void BM_ReversionOverThreeRecords(benchmark::State& state) {
  static const qx::Format kLayout{"(8H CHISQ =,E15.8,5X,14HNO. OF STEPS =,10F9.2,/,(42X,10F9.2))"};
  std::vector<qx::FormatArg> args{1.5};
  for (int i = 1; i <= 25; ++i) args.emplace_back(i * 1.25);
  for (auto _ : state) {
    std::string r = kLayout.render(args);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_ReversionOverThreeRecords);

void BM_ParseLayout(benchmark::State& state) {
  for (auto _ : state) {
    qx::Format f{
        "(1H ,'Initial combined image distance error = ',1P,G13.5,/,/,1H ,'(N)   X-Y error   - FIELDS (',I2,')')"};
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(BM_ParseLayout);

void BM_ListDirectedReal(benchmark::State& state) {
  double v = 0.1234567890123;
  for (auto _ : state) {
    std::string r = qx::render_list({"Value", v});
    benchmark::DoNotOptimize(r);
    v += 1e-9;
  }
}
BENCHMARK(BM_ListDirectedReal);

}  // namespace
