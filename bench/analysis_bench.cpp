// Figures for the ray-set analyses on a set of 194483 rays (a 441 x 441 beam and the two
// paraxial rays): SHADOW, DIFF, DELTAE, TRANS and PLOT to PostScript, each the whole command
// with its dialogue, reading the set through the current data set. Opening the set (DATA)
// is outside the timing. Every pass streams the rays one at a time; the peak resident size
// is reported to show that the memory does not grow with the set.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "app/commands.h"
#include "session/state.h"
#include "io/rayfile.h"
#include "scratch_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSide = 441;   // 441^2 + 2 = 194483 rays

// The scratch directory with the set "beam.bin" and a second system "second.cof".
struct Scratch {
  ScratchDir dir{"analysis_bench"};
  Scratch() {
    std::string why;
    auto w = lumiray::RayWriter::open("beam.bin", lumiray::RayWriter::Mode::replace, "benchmark beam", why);
    w->write(lumiray::Ray{0, 0, 0, 0, 0});
    w->write(lumiray::Ray{0, 1e-3, 0, 1e-3, 0});
    for (int i = 0; i < kSide; ++i)
      for (int j = 0; j < kSide; ++j) {
        const double u = (i - kSide / 2) / double(kSide), v = (j - kSide / 2) / double(kSide);
        w->write(lumiray::Ray{20e-6 * u, 2e-3 * v, 20e-6 * v, -2e-3 * u, 0.3 * std::sin(7.0 * u + 3.0 * v)});
      }
    w->finish();
    fs::copy_file(fs::path(QX_TEST_DATA_DIR) / "doublet.cof", "second.cof");
  }
};

long peak_kb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Runs `command` with `answers` on a fresh program state holding the set; the command alone
// is timed.
void run_analysis(benchmark::State& state, const std::string& command, const std::string& answers) {
  const Scratch scratch;
  for (auto _ : state) {
    state.PauseTiming();
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(answers));
    lumiray::run_line(s, "DATA beam");
    if (s.ntot != kSide * kSide + 2) state.SkipWithError("the set was not read");
    state.ResumeTiming();
    lumiray::run_line(s, command);
    lumiray::exit_program(s);
  }
  state.counters["rays"] = kSide * kSide + 2;
  state.counters["peak_kB"] = static_cast<double>(peak_kb());
}

void Shadow(benchmark::State& state) { run_analysis(state, "SHADOW grid", "5\nB\n2\n0.5\n17\ny\n"); }
BENCHMARK(Shadow)->Unit(benchmark::kMillisecond)->UseRealTime();

void Diff(benchmark::State& state) { run_analysis(state, "DIFF bright", "100\n0\n\n"); }
BENCHMARK(Diff)->Unit(benchmark::kMillisecond)->UseRealTime();

void Deltae(benchmark::State& state) { run_analysis(state, "DELTAE spread", ""); }
BENCHMARK(Deltae)->Unit(benchmark::kMillisecond)->UseRealTime();

void Trans(benchmark::State& state) { run_analysis(state, "TRANS/N second", ""); }
BENCHMARK(Trans)->Unit(benchmark::kMillisecond)->UseRealTime();

void PlotPostScript(benchmark::State& state) { run_analysis(state, "PLOT/Q", "X\nX\nT\n\n\n"); }
BENCHMARK(PlotPostScript)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
