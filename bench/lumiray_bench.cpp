// Figures for the ray generator and the ray-file reader.
//
// FakeRegular200k runs the whole FAKE command (time of day, coefficient file, dialogue,
// 200000 rays of a regular grid mapped to third order and written, the file read back and
// counted); PlainLoop200k evaluates the same polynomial on the same grid and writes the
// same records with nothing else, the practical limit. DataReadBack200k is DATA on the file.
#include <benchmark/benchmark.h>

#include <cmath>
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
#include "app/state.h"

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

}  // namespace
