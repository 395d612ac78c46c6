// Plot output figures: a full ray map (200000 points) drawn into a PostScript file, an HPGL
// file, an SVG file and onto the terminal stream.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "qx/plot.h"
#include "qx/session.h"
#include "qx/units.h"
#include "scratch_dir.h"

namespace {

constexpr int kPoints = 200000;   // the largest ray set a MAP draws

// Each point as a dot: a move and a short draw, as the ray maps plot them.
void draw_points(qx::Session& s, char device) {
  for (int i = 0; i < kPoints; ++i) {
    const float x = static_cast<float>(i % 1000) * 0.01f;
    const float y = static_cast<float>((i * 7919) % 1000) * 0.01f;
    qx::qxdraw(s, device, x, y, 3);
    qx::qxdraw(s, device, x, y, 2);
  }
}

// The map drawn into a numbered plot file of the device, which close ends.
void file_map(benchmark::State& state, char device, void (*close)(qx::Session&)) {
  const ScratchDir dir("qx_bench");
  qx::StringOutput out;
  qx::StringInput in("");
  for (auto _ : state) {
    qx::Session s(out);
    qx::qxplot(s, in, out, 0, 1.0f, device, 0, 10, 0, 10);
    draw_points(s, device);
    close(s);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_PostScriptMap(benchmark::State& state) { file_map(state, 'Q', qx::ps_close); }
BENCHMARK(BM_PostScriptMap)->Unit(benchmark::kMillisecond);

void BM_HpglMap(benchmark::State& state) { file_map(state, 'H', qx::hpgl_close); }
BENCHMARK(BM_HpglMap)->Unit(benchmark::kMillisecond);

// Dots on the same milli-inch of the page are written once.
void BM_SvgMap(benchmark::State& state) { file_map(state, 'V', qx::svg_close); }
BENCHMARK(BM_SvgMap)->Unit(benchmark::kMillisecond);

// A beam of 194483 rays, dense in the middle, spread over the page: most dots are distinct.
void BM_SvgBeamMap(benchmark::State& state) {
  constexpr int kRays = 194483;
  const ScratchDir dir("qx_bench");
  qx::StringOutput out;
  qx::StringInput in("");
  std::uintmax_t bytes = 0;
  for (auto _ : state) {
    qx::Session s(out);
    qx::qxplot(s, in, out, 0, 1.4142135f, 'V', -1, 1, -1, 1);
    for (int i = 0; i < kRays; ++i) {
      const double r = std::pow(static_cast<double>(i) / kRays, 2.0), t = i * 2.39996;
      const float x = static_cast<float>(r * std::cos(t)), y = static_cast<float>(r * std::sin(t));
      qx::qxdraw(s, 'V', x, y, 3);
      qx::qxdraw(s, 'V', x, y, 2);
    }
    qx::svg_close(s);
    bytes = std::filesystem::file_size(s.gfx.svg.name);
  }
  state.counters["file_MB"] = static_cast<double>(bytes) / 1.0e6;
  state.SetItemsProcessed(state.iterations() * kRays);
}
BENCHMARK(BM_SvgBeamMap)->Unit(benchmark::kMillisecond);

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
