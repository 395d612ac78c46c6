// The terminal byte stream: addresses and their byte-saving rules, pen codes, mode switches,
// the buffer, and the terminal types' entry and exit sequences.
#include <gtest/gtest.h>

#include "graphics_capture.h"
#include "qx/plot.h"
#include "qx/tek.h"

namespace {

using qxtest::bytes_of;
using qxtest::TekCapture;

constexpr int US = 31, GS = 29, ESC = 27, FF = 12;

TEST(TekAddress, CornersEncodeAsTheTerminalExpects) {
  const qx::TekAddress origin = qx::tek_address(0, 0);
  EXPECT_EQ((std::array{origin.hiy, origin.loy, origin.hix, origin.lox}), (std::array{32, 96, 32, 64}));
  const qx::TekAddress corner = qx::tek_address(1023, 767);
  EXPECT_EQ((std::array{corner.hiy, corner.loy, corner.hix, corner.lox}), (std::array{55, 127, 63, 95}));
  const qx::TekAddress clamped = qx::tek_address(-5, 2000);   // clamped into 0-1023
  EXPECT_EQ((std::array{clamped.hiy, clamped.loy, clamped.hix, clamped.lox}), (std::array{63, 127, 32, 64}));
}

TEST(TekAddress, ByteSavingRules) {
  TekCapture c;
  qx::send_address(c.s, 0, 0);
  EXPECT_EQ(c.fresh(), bytes_of({32, 96, 32, 64}));
  qx::send_address(c.s, 1023, 767);
  EXPECT_EQ(c.fresh(), bytes_of({55, 127, 63, 95}));
  // Only X changes, inside the same 32-block: LoX alone.
  qx::send_address(c.s, 1000, 767);
  EXPECT_EQ(c.fresh(), bytes_of({64 + 1000 % 32}));
  // HiX changes and LoY does not: LoY is sent all the same, HiY is not.
  qx::send_address(c.s, 10, 767);
  EXPECT_EQ(c.fresh(), bytes_of({127, 32, 64 + 10}));
  // Only HiY changes: HiY and LoX.
  qx::send_address(c.s, 10, 767 - 32);
  EXPECT_EQ(c.fresh(), bytes_of({32 + (767 - 32) / 32, 64 + 10}));
  // Only LoY changes: LoY and LoX.
  qx::send_address(c.s, 10, 767 - 33);
  EXPECT_EQ(c.fresh(), bytes_of({96 + (767 - 33) % 32, 64 + 10}));
  // A control character forgets the memory: the next address is sent whole.
  qx::tek_byte(c.s, GS);
  qx::send_address(c.s, 10, 734);
  EXPECT_EQ(c.fresh(), bytes_of({GS, 32 + 734 / 32, 96 + 734 % 32, 32, 64 + 10}));
}

TEST(TekBuffer, WritesWhenFullOrAskedTo) {
  TekCapture c;
  for (int i = 0; i < 39; ++i) qx::tek_byte(c.s, 'a');
  qx::tek_byte(c.s, -2);   // fewer than 40 wait: nothing written
  EXPECT_EQ(c.s.gfx.tek.buffer.size(), 39u);
  qx::tek_byte(c.s, 'a');
  qx::tek_byte(c.s, -2);
  EXPECT_TRUE(c.s.gfx.tek.buffer.empty());
  for (int i = 0; i < 119; ++i) qx::tek_byte(c.s, 'b');
  EXPECT_EQ(c.s.gfx.tek.buffer.size(), 119u);
  qx::tek_byte(c.s, 'b');   // the 120th byte writes the buffer
  EXPECT_TRUE(c.s.gfx.tek.buffer.empty());
  EXPECT_EQ(c.bytes(), std::string(40, 'a') + std::string(120, 'b'));
}

TEST(TekMode, SwitchesBetweenTextVectorsAndAlpha) {
  TekCapture c;
  c.s.gfx.tek.type = 2;
  qx::qxmode(c.s, 1);   // text -> entry sequence, then GS into vectors
  EXPECT_EQ(c.fresh(), std::string("\x1b" "1\x1b*") + static_cast<char>(GS));
  EXPECT_EQ(c.s.gfx.tek.mode, 1);
  qx::qxmode(c.s, 1);
  EXPECT_EQ(c.fresh(), "");
  qx::qxmode(c.s, 2);
  EXPECT_EQ(c.fresh(), bytes_of({US}));
  qx::qxmode(c.s, 1);
  EXPECT_EQ(c.fresh(), bytes_of({GS}));
  qx::qxmode(c.s, 0);   // from vectors: US, then the exit sequence
  EXPECT_EQ(c.fresh(), std::string(1, static_cast<char>(US)) + "\x1bO\x1b" "2");
  EXPECT_EQ(c.s.gfx.tek.mode, 0);
  qx::qxmode(c.s, 0);
  EXPECT_EQ(c.fresh(), "");
  qx::qxmode(c.s, 3);   // text -> alpha sub-mode: the entry sequence only
  EXPECT_EQ(c.fresh(), "\x1b" "1\x1b*");
  EXPECT_EQ(c.s.gfx.tek.mode, 2);
}

TEST(TekMode, EveryTypeHasItsSequencesAndTypeZeroNone) {
  for (const qx::TekVariant& v : qx::kTekVariants) {
    TekCapture c;
    c.s.gfx.tek.type = v.type;
    qx::qxmode(c.s, 2);
    qx::qxmode(c.s, 0);
    EXPECT_EQ(c.bytes(), std::string(v.enter) + std::string(v.leave)) << "type " << v.type;
  }
  TekCapture c;
  qx::qxmode(c.s, 1);
  qx::qxmode(c.s, 0);
  EXPECT_EQ(c.bytes(), bytes_of({GS, US}));
}

TEST(TekPen, MoveThenDrawWithStyleAndColour) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::screen_point(c.s, 0, 0, 3);
  EXPECT_EQ(c.fresh(), bytes_of({GS, US, GS, 32, 96, 32, 64}));
  qx::screen_point(c.s, 5, 0, 2);
  EXPECT_EQ(c.fresh(), bytes_of({64 + 5}));
  qx::screen_point(c.s, 9, 0, 1);   // action 1 repeats the draw
  EXPECT_EQ(c.fresh(), bytes_of({64 + 9}));
  // Style 2 and colour 3: both escapes, then the vector restarts at the current point.
  qx::screen_point(c.s, 20, 0, 322);
  EXPECT_EQ(c.fresh(), bytes_of({ESC, 96 + 2, ESC, '/', '3', 'd', GS, 32, 96, 32, 64 + 9, 64 + 20}));
  // A line style above 6 is shifted by 17.
  qx::screen_point(c.s, 21, 0, 372);
  EXPECT_EQ(c.fresh(), bytes_of({ESC, 96 + 24, GS, 32, 96, 32, 64 + 20, 64 + 21}));
  // Action 0 changes style and colour only.
  qx::screen_point(c.s, 500, 500, 100);
  EXPECT_EQ(c.fresh(), bytes_of({ESC, 96, ESC, '/', '1', 'd'}));
  EXPECT_EQ(c.s.gfx.tek.cur_x, 21);
  // A negative code erases the screen first; the GS of the erase makes the address a move.
  qx::screen_point(c.s, 22, 0, -102);
  EXPECT_EQ(c.fresh(), bytes_of({US, ESC, FF, GS, 32, 96, 32, 64 + 22}));
}

TEST(TekPen, FirstPointActionOneDrawsAndMovesKeepStyle) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::screen_point(c.s, 3, 0, 1);
  EXPECT_EQ(c.fresh(), bytes_of({GS, 32, 96, 32, 64 + 3}));
  qx::screen_point(c.s, 40, 0, 43);   // a move with style 4: the style is not taken
  qx::screen_point(c.s, 41, 0, 2);
  EXPECT_EQ(c.fresh(), bytes_of({US, GS, 32, 96, 33, 64 + 8, 64 + 9}));
}

TEST(TekPen, SegmentsAreCutAtTheClippingWindow) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::set_clip_window(c.s, 0, 100, 0, 100);
  qx::screen_point(c.s, 50, 50, 3);
  qx::screen_point(c.s, 150, 50, 2);   // leaves the window at x = 100
  qx::screen_point(c.s, 150, 60, 2);   // wholly outside: nothing
  qx::screen_point(c.s, 50, 60, 2);    // comes back in at x = 100
  const std::string b = c.bytes();
  // move (50,50), draw to (100,50) where it leaves
  EXPECT_EQ(b.substr(0, 10), bytes_of({GS, US, GS, 33, 96 + 18, 33, 64 + 18, 96 + 18, 35, 64 + 4}));
  // move to (100,60) where it comes back (the US and GS make the address whole), draw (50,60)
  EXPECT_EQ(b.substr(10), bytes_of({US, GS, 33, 96 + 28, 35, 64 + 4, 96 + 28, 33, 64 + 18}));
}

TEST(TekTransform, PlotPointsTruncateTowardZero) {
  qx::ScreenTransform t;   // the defaults: 0-20 x 0-15 onto 0-1023 x 0-767
  int x = 0, y = 0;
  qx::plot_to_screen(t, 20.0f, 15.0f, x, y);
  EXPECT_EQ(x, 1023);
  EXPECT_EQ(y, 767);
  qx::plot_to_screen(t, 1.0f, 1.0f, x, y);
  EXPECT_EQ(x, 51);   // 51.15 truncated
  EXPECT_EQ(y, 51);
  t.zoom = 0.5f;
  t.xoff = 10.0f;
  t.yoff = -4.72f;
  qx::plot_to_screen(t, 20.0f, 15.0f, x, y);
  EXPECT_EQ(x, 521);   // 1023 * 0.5 + 10 = 521.5
  EXPECT_EQ(y, 378);   // 767.25 * 0.5 - 4.72 = 378.9
}

}  // namespace
