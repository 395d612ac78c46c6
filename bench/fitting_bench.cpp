// The fits as a user runs them. Budgets on the development machine: a STIG fit of the shipped
// detuned quadruplet under 0.2 s; an AGP scan of 90 x 90 steps (91 x 91 points) with a
// third-order coefficient mask under 2 s.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/loop.h"
#include "qx/units.h"
#include "scratch_dir.h"
#include "session/state.h"

namespace {

namespace fs = std::filesystem;

// The program's state with one of the shipped systems loaded, in a scratch directory.
struct Loaded {
  ScratchDir scratch{"fitting_bench"};
  const fs::path& dir = scratch.path();
  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("")};
  vorne::LensSystem start;

  explicit Loaded(const std::string& file) {
    fs::copy_file(fs::path(QX_TEST_DATA_DIR) / file, dir / "sys.vrn");
    vorne::run_line(v, "DATA sys");
    start = v.sys;
  }
};

void BM_StigQuadruplet(benchmark::State& state) {
  Loaded l("quadruplet_detuned.vrn");
  for (auto _ : state) {
    l.v.sys = l.start;
    l.term.clear();
    vorne::run_line(l.v, "STIG");
    benchmark::DoNotOptimize(l.v.sys.p(4, 3));
  }
  if (l.term.text().find("After minimisation") == std::string::npos) state.SkipWithError("STIG did not run");
}
BENCHMARK(BM_StigQuadruplet)->Unit(benchmark::kMillisecond);

void BM_AgpThirdOrder90x90(benchmark::State& state) {
  Loaded l("octupole_triplet.vrn");
  // The two octupole fields against the system's x spherical aberration.
  std::ofstream(l.dir / "answers.txt")
      << "1 4 3 1\n1 10 3 2\n1/\n7 1 1 0\n1/\n-0.01 0.01\n-0.01 0.01\n90 90\ngrid.agp\n";
  for (auto _ : state) {
    l.v.sys = l.start;
    l.term.clear();
    fs::remove(l.dir / "grid.agp");
    l.v.input.push(l.dir / "answers.txt");
    vorne::run_line(l.v, "AGP");
    l.v.input.pop();
  }
  if (l.term.text().find(" 8281 points generated total.") == std::string::npos) state.SkipWithError("AGP did not run");
  state.counters["points"] = 91 * 91;
}
BENCHMARK(BM_AgpThirdOrder90x90)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
