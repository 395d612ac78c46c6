// Figures for the ray generator, the ray-file reader and the analyses of a ray set.
//
// FakeRegular200k runs the whole FAKE command (time of day, coefficient file, dialogue,
// 200000 rays of a regular grid mapped to third order and written, the file read back and
// counted); PlainLoop200k evaluates the same polynomial on the same grid and writes the
// same records with nothing else, the practical limit. DataReadBack200k is DATA on the file.
//
// Sort194k, Profile194k and MapPostScript194k run SORT, PROFIL/X and MAP/Q on a set of
// 194483 rays (a 21^4 regular grid and the two paraxial rays), from the command line to the
// closed output file; each has a baseline, a bare C loop that reads the same file with fread
// and makes the same passes and writes the same amount of output, the practical limit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "io/coef.h"
#include "app/commands.h"
#include "generate/fake.h"
#include "io/lqio.h"
#include "io/rayfile.h"
#include "scratch_dir.h"
#include "session/state.h"

namespace {

namespace fs = std::filesystem;

// Answers to FAKE/N: regular mode, 200000 rays asked (more than the set holds, so the run
// stops at the limit), square apertures, 10 micron object, 0.4 mm aperture, no offsets,
// 0.1 % energy spread, uniform sampling, then quit.
const char* const kAnswers = "2\n200000\nS\n10 10\n0.4 0.4\n0 0\n0.1\n0 0\nQ\n";

// A scratch directory holding the example coefficient file as "sys.cof".
struct Scratch {
  ScratchDir dir{"lumiray_bench"};
  Scratch() { fs::copy_file(fs::path(QX_TEST_DATA_DIR) / "doublet.cof", dir.path() / "sys.cof"); }
};

void FakeRegular200k(benchmark::State& state) {
  const Scratch scratch;
  for (auto _ : state) {
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(kAnswers));
    lumiray::run_line(s, "FAKE/N sys");
    if (s.ntot != lumiray::kMaxRays) state.SkipWithError("FAKE did not write 200000 rays");
    lumiray::exit_program(s);
  }
}
BENCHMARK(FakeRegular200k)->Unit(benchmark::kMillisecond)->UseRealTime();

void PlainLoop200k(benchmark::State& state) {
  const Scratch scratch;
  qx::StringOutput out;
  qx::StringInput none("");
  lumiray::CoefficientSet c;
  std::string name = "sys";
  lumiray::cofin(lumiray::Dialogue{none, out, false}, name, c);
  // The same grid as FAKE: 22 points per axis (200000 rays asked), 200000 rays in all.
  const int n = 22;
  const double ho = 5e-6, ha = 2e-4, L = c.collimator_distance;
  const double so = 2 * ho / std::sqrt(std::sqrt(200000.0)), sa = 2 * ha / std::sqrt(std::sqrt(200000.0));
  for (auto _ : state) {
    std::FILE* f = std::fopen("plain.bin", "wb");
    const std::string caption = lumiray::caption_record(c.title);
    std::fwrite(caption.data(), 1, caption.size(), f);
    long written = 0;
    std::uint64_t seed = 12345;
    lumiray::Lcg48 rng(seed);
    unsigned char rec[lumiray::kRayRecordBytes];
    for (int i = 0; i < n && written < lumiray::kMaxRays; ++i)
      for (int j = 0; j < n && written < lumiray::kMaxRays; ++j)
        for (int k = 0; k < n && written < lumiray::kMaxRays; ++k)
          for (int l = 0; l < n && written < lumiray::kMaxRays; ++l) {
            const double x = (i - 10.5) * so, y = (j - 10.5) * so, t = (k - 10.5) * sa / L, p = (l - 10.5) * sa / L;
            const double d = (1.0 - 2.0 * rng.next()) * 0.1;
            const double v[4] = {x, t, y, p};
            double o[4];
            for (int r = 1; r <= 4; ++r) {
              double s = 0;
              for (int q = 1; q <= 4; ++q) s += c.map(r, q) * v[q - 1];
              int col = 5;
              for (int a = 0; a < 4; ++a)
                for (int b = a; b < 4; ++b) s += c.map(r, col++) * v[a] * v[b];
              o[r - 1] = s;
            }
            o[0] += c.third(1, 1) * t * t * t + c.third(1, 2) * t * p * p + c.third(1, 3) * t * t * x +
                    c.third(1, 4) * p * p * x + c.third(1, 5) * t * p * y + c.third(1, 6) * t * x * x +
                    c.third(1, 7) * t * y * y + c.third(1, 8) * x * y * p + c.third(1, 9) * x * x * x +
                    c.third(1, 10) * x * y * y + c.chromatic(1) * t * d + c.chromatic(3) * x * d;
            o[2] += c.third(2, 1) * p * p * p + c.third(2, 2) * p * t * t + c.third(2, 3) * p * p * y +
                    c.third(2, 4) * t * t * y + c.third(2, 5) * p * x * t + c.third(2, 6) * p * y * y +
                    c.third(2, 7) * p * x * x + c.third(2, 8) * y * x * t + c.third(2, 9) * y * y * y +
                    c.third(2, 10) * y * x * x + c.chromatic(2) * p * d + c.chromatic(4) * y * d;
            lumiray::encode_ray(lumiray::Ray{o[0], o[1], o[2], o[3], d}, rec);
            std::fwrite(rec, 1, sizeof rec, f);
            ++written;
          }
    std::fclose(f);
    benchmark::DoNotOptimize(written);
  }
}
BENCHMARK(PlainLoop200k)->Unit(benchmark::kMillisecond)->UseRealTime();

void DataReadBack200k(benchmark::State& state) {
  const Scratch scratch;
  {
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(kAnswers));
    lumiray::run_line(s, "FAKE/N sys");
    lumiray::exit_program(s);
  }
  for (auto _ : state) {
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(""));
    lumiray::run_line(s, "DATA sys.bin");
    if (s.ntot != lumiray::kMaxRays) state.SkipWithError("DATA did not count 200000 rays");
  }
}
BENCHMARK(DataReadBack200k)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------------------------------
// The analyses
// ---------------------------------------------------------------------------------------

// FAKE/N with 180000 rays asked: 21 points on each of the four axes, 194481 rays and the two
// paraxial rays.
const char* const kSetAnswers = "2\n180000\nS\n10 10\n0.4 0.4\n0 0\n0.1\n0 0\nQ\n";
constexpr long kSetRays = 194483;

struct RaySet {
  Scratch scratch;
  RaySet() {
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(kSetAnswers));
    lumiray::run_line(s, "FAKE/N sys");
    lumiray::exit_program(s);
  }
};

// Runs DATA (not timed), then the command with its answers (timed, to the closed files).
void analysis(benchmark::State& state, const char* command, const char* answers) {
  const RaySet set;
  for (auto _ : state) {
    state.PauseTiming();
    qx::StringOutput out;
    lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(answers));
    lumiray::run_line(s, "DATA sys.bin");
    if (s.ntot != kSetRays) state.SkipWithError("the set does not hold 194483 rays");
    state.ResumeTiming();
    lumiray::run_line(s, command);
    lumiray::exit_program(s);
  }
}

void Sort194k(benchmark::State& state) { analysis(state, "SORT grid", "\n\n\n\n"); }
BENCHMARK(Sort194k)->Unit(benchmark::kMillisecond)->UseRealTime();

void Profile194k(benchmark::State& state) { analysis(state, "PROFIL/X prof", "\n"); }
BENCHMARK(Profile194k)->Unit(benchmark::kMillisecond)->UseRealTime();

void MapPostScript194k(benchmark::State& state) { analysis(state, "MAP/Q", "X\n\n"); }
BENCHMARK(MapPostScript194k)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baselines: one pass reads every ray record with fread and calls f(x, th, y, ph, d).
template <typename F>
void bare_pass(std::FILE* f, F&& each) {
  std::fseek(f, 108, SEEK_SET);
  unsigned char rec[48];
  double v[5];
  while (std::fread(rec, 1, sizeof rec, f) == sizeof rec) {
    std::memcpy(v, rec + 4, sizeof v);   // little-endian host
    each(v);
  }
}

// Runs body(f) on the ray file opened with fopen, once per iteration.
template <typename F>
void bare(benchmark::State& state, F&& body) {
  const RaySet set;
  for (auto _ : state) {
    std::FILE* f = std::fopen("sys.bin", "rb");
    body(f);
    std::fclose(f);
  }
}

// The image planes need rays 1 and 2 only, but the pass reads the file as a program would.
double bare_image_plane(std::FILE* f) {
  double par[2][5] = {};
  int k = 0;
  bare_pass(f, [&](const double* v) {
    if (k < 2) std::memcpy(par[k++], v, sizeof par[0]);
  });
  return -(par[1][0] - par[0][0]) / (par[1][1] - par[0][1]);
}

void BareSort194k(benchmark::State& state) {
  bare(state, [](std::FILE* f) {
    const double z = bare_image_plane(f) * 0.0;   // SORT's default plane: the end of the system
    double lo = 1e30, hi = -1e30;
    bare_pass(f, [&](const double* v) {
      lo = std::min({lo, v[0] + v[1] * z, v[2] + v[3] * z});
      hi = std::max({hi, v[0] + v[1] * z, v[2] + v[3] * z});
    });
    const double r = 1.05 * (hi - lo);
    lo -= 0.025 * (hi - lo);
    int grid[25][25] = {};
    bare_pass(f, [&](const double* v) {
      const long i = std::lround(24 * (v[0] + v[1] * z - lo) / r), j = std::lround(24 * (v[2] + v[3] * z - lo) / r);
      if (i >= 0 && i < 25 && j >= 0 && j < 25) ++grid[j][i];
    });
    std::FILE* out = std::fopen("bare.agp", "w");
    for (int j = 0; j < 25; ++j)
      for (int i = 0; i < 25; ++i)
        std::fprintf(out, " %12.5G,%12.5G,%5d\n", lo + i * r / 24, lo + j * r / 24, grid[j][i]);
    std::fclose(out);
  });
}
BENCHMARK(BareSort194k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BareProfile194k(benchmark::State& state) {
  bare(state, [](std::FILE* f) {
    double lo = 1e30, hi = -1e30;
    bare_pass(f, [&](const double* v) { lo = std::min(lo, v[0]), hi = std::max(hi, v[0]); });
    int channel[1000] = {};
    bare_pass(f, [&](const double* v) { ++channel[static_cast<int>(20 * (v[0] - lo) / (hi - lo) + 1.5) - 1]; });
    std::FILE* out = std::fopen("bare.fit", "w");
    for (int c = 1; c <= 21; ++c)
      std::fprintf(out, " %12.5G,%5d,%12.5G\n", (c - 1) * (hi - lo) / 20 - (hi - lo) / 2, channel[c - 1],
                   std::sqrt(channel[c - 1]));
    std::fclose(out);
  });
}
BENCHMARK(BareProfile194k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BareMapPostScript194k(benchmark::State& state) {
  bare(state, [](std::FILE* f) {
    const double z = bare_image_plane(f);
    double m = 0.0;
    bare_pass(f, [&](const double* v) { m = std::max({m, std::fabs(v[0] + v[1] * z), std::fabs(v[2] + v[3] * z)}); });
    const double h = 1.05 * m, scale = 4000.0 / h;
    std::FILE* out = std::fopen("bare.ps", "w");
    bare_pass(f, [&](const double* v) {   // one dot, as a move and a draw, for every ray in the box
      const double px = v[0] + v[1] * z, py = v[2] + v[3] * z;
      const int x = static_cast<int>(5000 + px * scale), y = static_cast<int>(5000 + py * scale);
      if (std::fabs(px) <= h && std::fabs(py) <= h) std::fprintf(out, "%d %d il %d %d vl\n", x, y, x, y);
    });
    std::fclose(out);
  });
}
BENCHMARK(BareMapPostScript194k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
