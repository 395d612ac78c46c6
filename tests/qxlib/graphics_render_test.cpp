// Real clients read what we write: one framed plot with axes, labels, text and a line is drawn
// on each device; ghostscript renders the PostScript file and hp2xx the HPGL file to bitmaps
// (without a complaint, with ink on the frame and the text and none where nothing was drawn),
// and the terminal byte stream and the SVG file hold the segments the PostScript file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "graphics_capture.h"
#include "qx/graphics.h"
#include "qx/plot.h"
#include "qx/tekdecode.h"
#include "plot_clients.h"

namespace {

using qxtest::read_file;

constexpr float kX0 = 0, kX1 = 10, kY0 = 0, kY1 = 5;
constexpr float kTextX = 1.0f, kTextY = 3.5f, kTextSize = 10.0f;
const char* const kText = "Frame 10^U5";

// The scene; returns the largest x the text reaches.
float draw_scene(qx::Session& s, char device) {
  qx::StringInput in("");
  EXPECT_EQ(qx::qxplot(s, in, s.out, 0, qx::kSqrt2, device, kX0, kX1, kY0, kY1), 0);
  qx::qxbox(s, device, kX0, kX1, kY0, kY1);
  qx::qxaxes(s, device, 5, 5, 1.0f);
  qx::qxtext(s, 0, device, kTextX, kTextY, kTextSize, 0.0f, kText);
  qx::qxdraw(s, device, kX0, kY0, 3);
  qx::qxdraw(s, device, kX1, kY1, 2);
  qx::qxend(s, device);
  return qx::qxtext(s, 1, device, kTextX, kTextY, kTextSize, 0.0f, kText);
}

struct Bitmap {
  int w = 0, h = 0;
  std::vector<std::uint8_t> bits;   // P4 rows, 1 = ink
  bool ink(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return false;
    return (bits[static_cast<std::size_t>(y * ((w + 7) / 8) + x / 8)] >> (7 - x % 8)) & 1;
  }
};

Bitmap read_pbm(const std::string& data) {
  Bitmap b;
  std::istringstream in(data);
  std::string magic;
  in >> magic;
  if (magic != "P4") return b;
  auto number = [&in]() {
    in >> std::ws;
    while (in.peek() == '#') {
      std::string comment;
      std::getline(in, comment);
      in >> std::ws;
    }
    int v = 0;
    in >> v;
    return v;
  };
  b.w = number();
  b.h = number();
  in.get();   // the single blank before the raster
  const std::size_t size = static_cast<std::size_t>(b.h * ((b.w + 7) / 8));
  const auto start = static_cast<std::size_t>(in.tellg());
  if (b.w <= 0 || b.h <= 0 || data.size() < start + size) return Bitmap{};
  b.bits.assign(data.begin() + static_cast<long>(start), data.begin() + static_cast<long>(start + size));
  return b;
}

int longest_run(const Bitmap& b, bool vertical, int at) {
  int best = 0, run = 0;
  for (int i = 0; i < (vertical ? b.h : b.w); ++i) {
    run = (vertical ? b.ink(at, i) : b.ink(i, at)) ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

// The two lines with the longest runs of ink (frame edges), lowest index first.
std::pair<int, int> two_longest(const Bitmap& b, bool vertical) {
  std::vector<std::pair<int, int>> runs;
  for (int i = 0; i < (vertical ? b.w : b.h); ++i) runs.push_back({longest_run(b, vertical, i), i});
  std::sort(runs.rbegin(), runs.rend());
  const int first = runs[0].second;
  for (const auto& r : runs) {
    if (std::abs(r.second - first) > 10) return {std::min(first, r.second), std::max(first, r.second)};
  }
  return {first, first};
}

// Both renderers show the landscape page turned: plot x runs up the bitmap and plot y to
// the left. The frame found in the bitmap fixes the scale.
class PageView {
 public:
  explicit PageView(const Bitmap& b) : b_(b) {
    cols_ = two_longest(b, true);    // y = y1 on the left, y0 on the right
    rows_ = two_longest(b, false);   // x = x1 at the top, x0 at the bottom
  }
  int col(float y) const { return cols_.second - static_cast<int>(std::lround((y - kY0) / (kY1 - kY0) * span_y())); }
  int row(float x) const { return rows_.second - static_cast<int>(std::lround((x - kX0) / (kX1 - kX0) * span_x())); }
  float span_x() const { return static_cast<float>(rows_.second - rows_.first); }
  float span_y() const { return static_cast<float>(cols_.second - cols_.first); }
  int edge_run(bool vertical, int at) const { return longest_run(b_, vertical, at); }
  // Ink pixels in a plot-coordinate rectangle.
  int ink_in(float x0, float x1, float y0, float y1) const {
    int n = 0;
    for (int r = row(x1); r <= row(x0); ++r) {
      for (int c = col(y1); c <= col(y0); ++c) n += b_.ink(c, r) ? 1 : 0;
    }
    return n;
  }
  const std::pair<int, int>& cols() const { return cols_; }
  const std::pair<int, int>& rows() const { return rows_; }

 private:
  const Bitmap& b_;
  std::pair<int, int> cols_, rows_;
};

void expect_plot_on_page(const Bitmap& b, float text_end, const char* client) {
  SCOPED_TRACE(client);
  ASSERT_GT(b.w, 100);
  const PageView v(b);
  // A frame: four full-length edges whose proportions are the plot's aspect ratio.
  EXPECT_NEAR(v.span_x() / v.span_y(), qx::kSqrt2, 0.04);
  EXPECT_GT(v.span_y(), 150.0f);
  EXPECT_GE(v.edge_run(true, v.cols().first), v.span_x() * 0.97);
  EXPECT_GE(v.edge_run(true, v.cols().second), v.span_x() * 0.97);
  EXPECT_GE(v.edge_run(false, v.rows().first), v.span_y() * 0.97);
  EXPECT_GE(v.edge_run(false, v.rows().second), v.span_y() * 0.97);
  // The text, the tick labels under the horizontal axis, and an empty part of the window.
  EXPECT_GT(v.ink_in(kTextX, text_end, kTextY, kTextY + 0.3f), 40);
  EXPECT_GT(v.ink_in(1.5f, 8.5f, -0.5f, -0.05f), 40);
  EXPECT_EQ(v.ink_in(7.0f, 9.5f, 0.5f, 2.5f), 0);
}

class RealClients : public ::testing::Test {
 protected:
  RealClients() {
    qx::set_margin_factor(s, 1.0f);   // room for the labels on the page
  }
  qxtest::InScratchDir dir;
  qx::StringOutput out;
  qx::Session s{out};
};

TEST_F(RealClients, GhostscriptRendersThePostScriptFile) {
  ASSERT_TRUE(qxtest::have_program("gs")) << "ghostscript is missing: make deps installs it";
  const float text_end = draw_scene(s, 'Q');
  qx::close_plot_files(s);
  std::string complaint;
  ASSERT_TRUE(qxtest::run_quietly("gs -q -dSAFER -dBATCH -dNOPAUSE -sPAPERSIZE=letter -sDEVICE=pbmraw -r50 "
                         "-sOutputFile=ps.pbm plt01.ps",
                         complaint))
      << complaint;
  expect_plot_on_page(read_pbm(read_file("ps.pbm")), text_end, "ghostscript");
}

TEST_F(RealClients, Hp2xxRendersTheHpglFilesOfBothOptions) {
  ASSERT_TRUE(qxtest::have_program("hp2xx")) << "hp2xx is missing: make deps installs it";
  const float text_end = draw_scene(s, 'H');
  draw_scene(s, 'P');   // the plotter's header; x-axis horizontal
  qx::close_plot_files(s);
  std::string complaint;
  ASSERT_TRUE(qxtest::run_quietly("hp2xx -q -m pbm -d 50 -f h.pbm H1.hgl", complaint)) << complaint;
  expect_plot_on_page(read_pbm(read_file("h.pbm")), text_end, "hp2xx, option H");
  ASSERT_TRUE(qxtest::run_quietly("hp2xx -q -m pbm -d 50 -f p.pbm P2.hgl", complaint)) << complaint;
  const Bitmap p = read_pbm(read_file("p.pbm"));
  EXPECT_GT(p.w, p.h);   // not turned: wider than high
  EXPECT_NEAR(static_cast<float>(longest_run(p, false, two_longest(p, false).first)) /
                  static_cast<float>(longest_run(p, true, two_longest(p, true).first)),
              qx::kSqrt2, 0.04);
}

struct Segment {
  double x0, y0, x1, y1;
};

// The vectors of a PostScript file: "X Y il" moves, "X Y vl" draws.
std::vector<Segment> postscript_segments(const std::string& text) {
  std::vector<Segment> segs;
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  double cx = 0, cy = 0;
  for (std::size_t i = 2; i < words.size(); ++i) {
    if (words[i] != "il" && words[i] != "vl") continue;
    char* end = nullptr;
    const double x = std::strtod(words[i - 2].c_str(), &end);
    const double y = std::strtod(words[i - 1].c_str(), &end);
    if (words[i] == "vl") segs.push_back({cx, cy, x, y});
    cx = x;
    cy = y;
  }
  return segs;
}

TEST_F(RealClients, TerminalStreamHoldsTheSegmentsOfThePostScriptFile) {
  draw_scene(s, 'Q');
  qx::close_plot_files(s);
  const std::vector<Segment> expected = postscript_segments(read_file("plt01.ps"));

  qxtest::TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::set_margin_factor(c.s, 1.0f);
  draw_scene(c.s, 'S');
  std::vector<qx::TekSegment> got = qx::decode_tek(c.bytes()).pages.back().segments;
  ASSERT_GT(got.size(), 5u);
  got.erase(got.begin() + 4);   // the screen frame goes once more up its left edge
  ASSERT_EQ(got.size(), expected.size());
  const qx::PostScriptWriter& w = s.gfx.ps;   // its scale outlives the file
  const qx::ScreenTransform& t = c.s.gfx.tek.t;
  auto to_screen = [&](double X, double Y, int& sx, int& sy) {
    qx::plot_to_screen(t, static_cast<float>((X - w.xorg) / w.sx), static_cast<float>((Y - w.yorg) / w.sy), sx, sy);
  };
  int worst = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    int ax, ay, bx, by;
    to_screen(expected[i].x0, expected[i].y0, ax, ay);
    to_screen(expected[i].x1, expected[i].y1, bx, by);
    worst = std::max({worst, std::abs(ax - got[i].x0), std::abs(ay - got[i].y0), std::abs(bx - got[i].x1),
                      std::abs(by - got[i].y1)});
  }
  EXPECT_LE(worst, 1);   // rounding to mils against truncation to screen units
}

// The vectors of an SVG file: "M X Y" moves, "L X Y" draws, "h0" is a dot; y runs down the
// page, so it is turned back to the PostScript page's y.
std::vector<Segment> svg_segments(const std::string& text) {
  std::vector<Segment> segs;
  double cx = 0, cy = 0;
  for (std::size_t at = text.find(" d=\""); at != std::string::npos; at = text.find(" d=\"", at + 1)) {
    std::istringstream in(text.substr(at + 4, text.find('"', at + 4) - at - 4));
    for (char c; in >> c;) {
      if (c == 'h') {
        double dx = 0;
        in >> dx;
        segs.push_back({cx, cy, cx + dx, cy});
        cx += dx;
        continue;
      }
      double x = 0, y = 0;
      in >> x >> y;
      y = 8500 - y;
      if (c == 'L') segs.push_back({cx, cy, x, y});
      cx = x;
      cy = y;
    }
  }
  return segs;
}

bool same_segment(const Segment& a, const Segment& b) {
  auto near = [](double u, double v) { return std::abs(u - v) <= 1.0; };
  return (near(a.x0, b.x0) && near(a.y0, b.y0) && near(a.x1, b.x1) && near(a.y1, b.y1)) ||
         (near(a.x0, b.x1) && near(a.y0, b.y1) && near(a.x1, b.x0) && near(a.y1, b.y0));
}

TEST_F(RealClients, SvgFileHoldsTheSegmentsOfThePostScriptFileAndRenders) {
  draw_scene(s, 'Q');
  qx::close_plot_files(s);
  const std::vector<Segment> expected = postscript_segments(read_file("plt01.ps"));
  qx::Session v{out};
  qx::set_margin_factor(v, 1.0f);
  qx::set_plot_title(v, "Frame with axes");
  draw_scene(v, 'V');
  qx::close_plot_files(v);
  const std::string svg = read_file("plt02.svg");   // numbered after the PostScript file
  EXPECT_NE(svg.find("<title>Frame with axes</title>"), std::string::npos);
  const std::vector<Segment> got = svg_segments(svg);
  ASSERT_GT(got.size(), 100u);
  // The same drawing: every segment on both sides, each drawn once in the SVG file.
  std::size_t missing = 0, extra = 0;
  for (const Segment& e : expected) {
    missing += std::none_of(got.begin(), got.end(), [&](const Segment& g) { return same_segment(e, g); });
  }
  for (const Segment& g : got) {
    extra += std::none_of(expected.begin(), expected.end(), [&](const Segment& e) { return same_segment(e, g); });
  }
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(extra, 0u);
  EXPECT_LE(got.size(), expected.size());
  EXPECT_EQ(qxtest::check_svg_files(), 1);
}

}  // namespace
