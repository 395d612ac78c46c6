// Figures for SPOT: one plane of a 194483-ray set (budget 0.1 s) and a through-focus scan of
// 21 planes (budget 1 s). Each run reads the set from its ray file as the command does. The
// peak resident size shows what the sort holds: three doubles a ray (x, y, distance).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <memory>
#include <string>

#include "app/commands.h"
#include "session/state.h"
#include "io/rayfile.h"
#include "scratch_dir.h"

namespace {

constexpr long kRays = 194483;

// A beam focused 10 um behind the end of the system: the two paraxial rays, then rays with a
// spot of about 1 um and angles up to 1 mrad.
struct Scratch {
  ScratchDir dir{"spot_bench"};
  Scratch() {
    std::string why;
    auto w = lumiray::RayWriter::open("beam.bin", lumiray::RayWriter::Mode::replace, "Bench beam", why);
    if (!w) std::abort();
    w->write(lumiray::Ray{0, 0, 0, 0, 0});
    w->write(lumiray::Ray{-1e-8, 1e-3, -1e-8, 1e-3, 0});
    unsigned long long x = 4242;
    auto next = [&] {
      x = x * 6364136223846793005ULL + 1442695040888963407ULL;
      return static_cast<double>(x >> 11) / 9007199254740992.0 * 2.0 - 1.0;
    };
    for (long i = 2; i < kRays; ++i) {
      const double th = 1e-3 * next(), ph = 1e-3 * next();
      w->write(lumiray::Ray{0.5e-6 * next() - th * 1e-5, th, 0.5e-6 * next() - ph * 1e-5, ph, 0});
    }
    if (!w->finish()) std::abort();
  }
};

// Runs `command` with `answers` on the set; the set is opened outside the timing.
void run_spot(benchmark::State& state, const char* command, const char* answers) {
  const Scratch scratch;
  for (auto _ : state) {
    state.PauseTiming();
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(answers));
    lumiray::run_line(s, "DATA beam");
    if (s.ntot != kRays) state.SkipWithError("DATA did not count the rays");
    state.ResumeTiming();
    lumiray::run_line(s, command);
    state.PauseTiming();
    if (out.text().find(" Spot at Z = ") == std::string::npos &&
        out.text().find(" Smallest 50 % diameter ") == std::string::npos)
      state.SkipWithError("SPOT printed no result");
    lumiray::exit_program(s);
    state.ResumeTiming();
  }
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_kB"] = static_cast<double>(u.ru_maxrss);
}

void SpotOnePlane194k(benchmark::State& state) { run_spot(state, "SPOT/X", ""); }
BENCHMARK(SpotOnePlane194k)->Unit(benchmark::kMillisecond)->UseRealTime();

void SpotScan21Planes194k(benchmark::State& state) { run_spot(state, "SPOT/S", "-10 10 21\n"); }
BENCHMARK(SpotScan21Planes194k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
