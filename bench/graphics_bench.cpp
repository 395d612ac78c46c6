// Plot output figures: a full ray map (200000 points) drawn into a PostScript file, into an
// HPGL file and onto the terminal stream.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "qx/plot.h"
#include "qx/session.h"
#include "qx/units.h"

namespace {

constexpr int kPoints = 200000;   // the largest ray set a MAP draws

// Runs in a scratch directory so the numbered plot files land there.
class ScratchDir {
 public:
  ScratchDir() : old_(std::filesystem::current_path()) {
    dir_ = std::filesystem::temp_directory_path() / ("qx_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }

 private:
  std::filesystem::path old_, dir_;
};

// Each point as a dot: a move and a short draw, as the ray maps plot them.
void draw_points(qx::Session& s, char device) {
  for (int i = 0; i < kPoints; ++i) {
    const float x = static_cast<float>(i % 1000) * 0.01f;
    const float y = static_cast<float>((i * 7919) % 1000) * 0.01f;
    qx::qxdraw(s, device, x, y, 3);
    qx::qxdraw(s, device, x, y, 2);
  }
}

void BM_PostScriptMap(benchmark::State& state) {
  ScratchDir dir;
  qx::StringOutput out;
  qx::StringInput in("");
  for (auto _ : state) {
    qx::Session s(out);
    qx::qxplot(s, in, out, 0, 1.0f, 'Q', 0, 10, 0, 10);
    draw_points(s, 'Q');
    qx::ps_close(s);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_PostScriptMap)->Unit(benchmark::kMillisecond);

void BM_HpglMap(benchmark::State& state) {
  ScratchDir dir;
  qx::StringOutput out;
  qx::StringInput in("");
  for (auto _ : state) {
    qx::Session s(out);
    qx::qxplot(s, in, out, 0, 1.0f, 'H', 0, 10, 0, 10);
    draw_points(s, 'H');
    qx::hpgl_close(s);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_HpglMap)->Unit(benchmark::kMillisecond);

void BM_TerminalMap(benchmark::State& state) {
  qx::StringOutput out;
  qx::StringInput in("");
  for (auto _ : state) {
    qx::Session s(out);
    s.dest.file = std::fopen("/dev/null", "wb");
    s.dest.name = "/dev/null";
    s.gfx.tek.type = 1;
    qx::qxplot(s, in, out, 0, 1.0f, 'S', 0, 10, 0, 10);
    draw_points(s, 'S');
    qx::qxend(s, 'S');
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_TerminalMap)->Unit(benchmark::kMillisecond);

}  // namespace
