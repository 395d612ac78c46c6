// The decoder reads back what the terminal layer writes, so drawings can be checked as
// drawings; and it copes with the streams of every terminal type.
#include <gtest/gtest.h>

#include <random>

#include "graphics_capture.h"
#include "qx/tek.h"
#include "qx/tekdecode.h"

namespace {

using qxtest::TekCapture;

struct Seg {
  int x0, y0, x1, y1;
  bool operator==(const Seg&) const = default;
};

std::vector<Seg> segs(const qx::TekPage& p) {
  std::vector<Seg> v;
  for (const auto& s : p.segments) v.push_back({s.x0, s.y0, s.x1, s.y1});
  return v;
}

TEST(TekDecode, RandomPolylinesComeBackExactlyOnEveryType) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 767);
  for (const qx::TekVariant& v : qx::kTekVariants) {
    TekCapture c;
    c.s.gfx.tek.type = v.type;
    std::vector<Seg> drawn;
    for (int line = 0; line < 20; ++line) {
      int x = coord(rng), y = coord(rng);
      qx::screen_point(c.s, x, y, 3);
      for (int k = 0; k < 6; ++k) {
        // Small steps exercise the omitted address bytes, large ones the full addresses.
        const int nx = k % 2 ? std::clamp(x + coord(rng) % 40 - 20, 0, 767) : coord(rng);
        const int ny = k % 3 ? y : coord(rng);
        qx::screen_point(c.s, nx, ny, k == 3 ? 412 : 2);
        drawn.push_back({x, y, nx, ny});
        x = nx;
        y = ny;
      }
    }
    qx::qxmode(c.s, 0);
    const qx::TekDrawing d = qx::decode_tek(c.bytes());
    ASSERT_EQ(d.pages.size(), 1u) << "type " << v.type;
    EXPECT_EQ(segs(d.pages[0]), drawn) << "type " << v.type;
  }
}

TEST(TekDecode, StyleColourErasePagesAndText) {
  TekCapture c;
  c.s.gfx.tek.type = 8;
  qx::screen_point(c.s, 10, 10, 3);
  qx::screen_point(c.s, 20, 10, 532);   // style 3, colour 5
  qx::screen_point(c.s, 30, 10, -2);    // erase, then a draw from the current point
  qx::qxmode(c.s, 0);
  const qx::TekDrawing d = qx::decode_tek(c.bytes() + "after");
  ASSERT_EQ(d.pages.size(), 2u);
  ASSERT_EQ(d.pages[0].segments.size(), 1u);
  EXPECT_EQ(d.pages[0].segments[0].style, 3);
  EXPECT_EQ(d.pages[0].segments[0].colour, 5);
  EXPECT_EQ(segs(d.pages[1]), (std::vector<Seg>{{20, 10, 30, 10}}));
  EXPECT_EQ(d.erases, 1);
  EXPECT_EQ(d.pages[1].text, "after");
}

TEST(TekDecode, HandWrittenStream) {
  // GS, (0,0) as a move, (1023,767) drawn, US; in a new GS run a lone LoX keeps the other
  // address bytes: a move to (993,767), then a draw to (994,767).
  const std::string s = {29, 32, 96, 32, 64, 55, 127, 63, 95, 31, 'h', 'i', 29, 65, 66};
  const qx::TekDrawing d = qx::decode_tek(s);
  EXPECT_EQ(segs(d.pages[0]), (std::vector<Seg>{{0, 0, 1023, 767}, {993, 767, 994, 767}}));
  EXPECT_EQ(d.pages[0].text, "hi");
  EXPECT_EQ(d.graph_entries, 2);
}

TEST(TekDecode, SvgHasOneLinePerSegmentWithYUp) {
  qx::TekPage p;
  p.segments.push_back({0, 0, 100, 0});
  p.segments.push_back({0, 0, 0, 100, 2, 3});
  const std::string svg = qx::tek_page_svg(p);
  EXPECT_NE(svg.find("<line x1=\"0\" y1=\"780\" x2=\"100\" y2=\"780\""), std::string::npos);
  EXPECT_NE(svg.find("y2=\"680\" stroke=\"#008000\" stroke-dasharray"), std::string::npos);
  EXPECT_EQ(svg.find("<svg"), svg.rfind("<svg"));
}

}  // namespace
