// Plot frames, lines and boxes on the devices, axes and the straight-line fit.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics_capture.h"
#include "qx/plot.h"
#include "qx/tekdecode.h"

namespace {

using qxtest::TekCapture;

TEST(PlotFrame, SquarePlotIsCentredOnTheScreen) {
  const qx::Frame f = qx::screen_frame(1.0f, 0.0f);
  // x0 = 36.25, Y1 = (990 - 36.25) / sqrt 2, X1 = Y1 + 36.25, then moved right by d / 2.
  const float y1 = (990.0f - 36.25f) / 1.4142135f;
  const float shift = (1023.0f - y1) / 2.0f / 2.0f;
  EXPECT_NEAR(y1, 674.4f, 0.05f);
  EXPECT_NEAR(shift, 87.2f, 0.1f);   // "about 87.2": d = 174.3 halved
  EXPECT_FLOAT_EQ(f.y0, 0.0f);
  EXPECT_FLOAT_EQ(f.y1, y1);
  EXPECT_NEAR(f.x0, 36.25f + shift, 1e-3f);
  EXPECT_NEAR(f.x1, 710.66f + shift, 0.01f);
}

TEST(PlotFrame, WideTallAndMarginFrames) {
  const qx::Frame wide = qx::screen_frame(4.0f, 0.0f);   // a > 2: raised by 0.75 d
  EXPECT_FLOAT_EQ(wide.x1, 990.0f);
  const float h = (990.0f - 36.25f) / 4.0f;
  const float d = (724.0f - h) / 2.0f;
  EXPECT_FLOAT_EQ(wide.y0, 0.75f * d);
  EXPECT_FLOAT_EQ(wide.y1, h + 0.75f * d);
  const qx::Frame a15 = qx::screen_frame(1.5f, 1.0f);   // between: neither shift
  EXPECT_FLOAT_EQ(a15.x0, 4.0f * 145.0f / 4.0f);
  EXPECT_FLOAT_EQ(a15.y0, 80.0f);
  EXPECT_FLOAT_EQ(a15.x1, 990.0f);
  const qx::Frame none = qx::screen_frame(0.0f, 0.0f);   // no aspect: the usual sqrt 2 frame
  const qx::Frame root2 = qx::screen_frame(1.4142135f, 0.0f);
  EXPECT_FLOAT_EQ(none.x1, root2.x1);
  EXPECT_FLOAT_EQ(none.y1, root2.y1);
}

TEST(PlotScreen, BoxIsTheScreenWindowAndEraseComesFirst) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::StringInput in("");
  ASSERT_EQ(qx::qxplot(c.s, in, c.out, 0, 1.0f, ' ', -1.0f, 1.0f, -1.0f, 1.0f), 0);
  qx::qxbox(c.s, 'S', -1.0f, 1.0f, -1.0f, 1.0f);
  qx::qxdraw(c.s, 'S', -1.0f, -1.0f, 3);
  qx::qxdraw(c.s, 'S', 0.0f, 0.0f, 3);   // two moves: only the second counts
  qx::qxdraw(c.s, 'S', 1.0f, 1.0f, 2);
  qx::qxend(c.s, 'S');
  const qx::TekDrawing d = qx::decode_tek(c.bytes());
  EXPECT_EQ(d.erases, 1);   // auto-clear is on at start
  const auto& seg = d.pages.back().segments;
  ASSERT_EQ(seg.size(), 6u);
  const qx::ScreenTransform& t = c.s.gfx.tek.t;
  EXPECT_EQ(t.sx0, 123);
  EXPECT_EQ(t.sx1, 797);
  EXPECT_EQ(t.sy0, 0);
  EXPECT_EQ(t.sy1, 674);
  // The frame, once more up the left edge (as the screen frame always was), then the line.
  EXPECT_EQ(seg[0].x0, 123);
  EXPECT_EQ(seg[0].y0, 0);
  EXPECT_EQ(seg[0].x1, 797);
  EXPECT_EQ(seg[2].y1, 674);
  EXPECT_EQ(seg[4].y1, 674);
  EXPECT_EQ(seg[5].x0, (123 + 797) / 2);
  EXPECT_EQ(seg[5].y1, 674);
  EXPECT_EQ(c.s.gfx.tek.mode, 0);
}

TEST(PlotScreen, LineStylesReachThePenCode) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  c.s.gfx.auto_clear = false;
  qx::StringInput in("");
  qx::qxplot(c.s, in, c.out, 0, 1.0f, 'S', 0, 1, 0, 1);
  const int expected[] = {0, 3, 2, 1, 4, 3, 2};
  for (int style = 0; style <= 6; ++style) {
    qx::set_line_style(c.s, style);
    qx::qxdraw(c.s, 'S', 0, 0.1f * static_cast<float>(style), 3);
    qx::qxdraw(c.s, 'S', 1, 0.1f * static_cast<float>(style), 2);
  }
  qx::qxend(c.s, 'S');
  const auto seg = qx::decode_tek(c.bytes()).pages.back().segments;
  ASSERT_EQ(seg.size(), 7u);
  for (int style = 0; style <= 6; ++style) EXPECT_EQ(seg[static_cast<std::size_t>(style)].style, expected[style]);
}

TEST(PlotDevices, UnavailableAndNoDeviceDrawNothing) {
  TekCapture c;
  qx::StringInput in("");
  EXPECT_EQ(qx::qxplot(c.s, in, c.out, 0, 1.0f, 'o', 0, 1, 0, 1), 0);
  EXPECT_EQ(c.s.gfx.plot.device, 'O');
  EXPECT_EQ(c.out.text(), " Not implemented at Tarnby.\n");
  qx::qxdraw(c.s, 'O', 0, 0, 3);
  qx::qxdraw(c.s, 'O', 1, 1, 2);
  EXPECT_EQ(qx::qxplot(c.s, in, c.out, 0, 1.0f, 'U', 0, 1, 0, 1), 0);
  qx::qxdraw(c.s, 'U', 1, 0, 2);
  EXPECT_EQ(c.bytes(), "");
}

TEST(AxisStep, SearchesTwoTwoAndAHalfTwo) {
  EXPECT_FLOAT_EQ(qx::axis_step(10.0f, 5).step, 2.0f);
  EXPECT_FLOAT_EQ(qx::axis_step(1.0f, 10).step, 0.1f);
  EXPECT_FLOAT_EQ(qx::axis_step(100.0f, 4).step, 20.0f);
  EXPECT_FLOAT_EQ(qx::axis_step(-100.0f, 4).step, -20.0f);
  const qx::AxisStep s = qx::axis_step(99.0f, 1);   // 10, 20, then 2.5 gives 50
  EXPECT_FLOAT_EQ(s.step, 50.0f);
  EXPECT_TRUE(s.last_factor_25);
  EXPECT_FALSE(qx::axis_step(10.0f, 5).last_factor_25);
  EXPECT_FLOAT_EQ(qx::axis_step(0.0f, 5).step, 0.0f);   // no range, no ticks
  EXPECT_FLOAT_EQ(qx::axis_step(std::nanf(""), 5).step, 0.0f);
}

TEST(AxisStep, DecimalsFollowTheWindowWidth) {
  EXPECT_EQ(qx::auto_decimals(20.0f), 0);
  EXPECT_EQ(qx::auto_decimals(19.9f), 1);
  EXPECT_EQ(qx::auto_decimals(2.0f), 1);
  EXPECT_EQ(qx::auto_decimals(0.2f), 2);
  EXPECT_EQ(qx::auto_decimals(0.02f), 3);
  EXPECT_EQ(qx::auto_decimals(0.002f), 4);
  EXPECT_EQ(qx::auto_decimals(0.0002f), 5);
  EXPECT_EQ(qx::auto_decimals(0.00019f), 6);
  EXPECT_EQ(qx::auto_decimals(-50.0f), 0);
}

TEST(AxisLabels, LayoutsByDecimalsWithTheExponentFormWhenNothingFits) {
  EXPECT_EQ(qx::axis_label(0.0f, 2), "0");
  EXPECT_EQ(qx::axis_label(-1.0e-31f, 0), "0");
  EXPECT_EQ(qx::axis_label(40.0f, 0), "40");
  EXPECT_EQ(qx::axis_label(-12345678.0f, 0), "-12345678");
  EXPECT_EQ(qx::axis_label(2.5f, 1), "2.5");
  EXPECT_EQ(qx::axis_label(-0.25f, 2), "-0.25");
  EXPECT_EQ(qx::axis_label(0.00012f, 5), "0.00012");
  EXPECT_EQ(qx::axis_label(1.5e9f, 0), "1.5E+09");        // too wide for an integer
  EXPECT_EQ(qx::axis_label(123456.7f, 5), "1.2E+05");     // too wide for F10.5
  EXPECT_EQ(qx::axis_label(0.000012f, 6), "1.2E-05");     // six decimals: the exponent form
  EXPECT_EQ(qx::decade_label(0.0f), "10^U0");
  EXPECT_EQ(qx::decade_label(-2.0f), "10^U-2");
  EXPECT_EQ(qx::decade_label(12.0f), "10^U12");
  EXPECT_EQ(qx::decade_label(-45.0f), "10^U-45");
  EXPECT_EQ(qx::decade_label(1000.0f), "10^U  1000");   // I6
}

// Ticks of a 0-10 by 0-1 window, read back from the screen.
TEST(Axes, MajorAndMinorTicksWhereTheStepSaysWithoutLabels) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::StringInput in("");
  qx::qxaxes_option(c.s, 'V', 0, 0);
  qx::qxaxes_option(c.s, 'W', 0, 0);
  qx::qxaxes_option(c.s, 'U', 0, 0);
  qx::qxaxes_option(c.s, 'R', 0, 0);
  qx::qxplot(c.s, in, c.out, 0, 1.4142135f, 'S', 0, 10, 0, 1);
  qx::qxaxes(c.s, 'S', 5, 0, 1.0f);
  qx::qxend(c.s, 'S');
  const auto seg = qx::decode_tek(c.bytes()).pages.back().segments;
  // Majors at 0, 2, ... 10 (6) and one minor in each of the 5 intervals.
  ASSERT_EQ(seg.size(), 11u);
  const qx::ScreenTransform& t = c.s.gfx.tek.t;
  int majors = 0;
  for (const auto& s : seg) {
    EXPECT_EQ(s.x0, s.x1);
    EXPECT_EQ(std::min(s.y0, s.y1), t.sy0);
    if (std::abs(s.y1 - s.y0) > 8) ++majors;
  }
  EXPECT_EQ(majors, 6);
  // G sets the minor subdivisions; the option letters are taken in either case.
  qx::qxaxes_option(c.s, 'g', 0, 4.0f);
  qx::qxplot(c.s, in, c.out, 0, 1.4142135f, 'S', 0, 10, 0, 1);
  qx::qxaxes(c.s, 'S', 5, 0, 1.0f);
  qx::qxend(c.s, 'S');
  EXPECT_EQ(qx::decode_tek(c.bytes()).pages.back().segments.size(), 6u + 15u);
  // U draws them all again along the upper edge.
  qx::qxaxes_option(c.s, 'U', 1, 0);
  qx::qxplot(c.s, in, c.out, 0, 1.4142135f, 'S', 0, 10, 0, 1);
  qx::qxaxes(c.s, 'S', 5, 0, 1.0f);
  qx::qxend(c.s, 'S');
  EXPECT_EQ(qx::decode_tek(c.bytes()).pages.back().segments.size(), 2u * 21u);
}

TEST(Axes, TwoAndAHalfStepsGetFiveMinorIntervalsOrNone) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::StringInput in("");
  for (const char sw : {'V', 'W', 'U', 'R'}) qx::qxaxes_option(c.s, sw, 0, 0);
  qx::qxplot(c.s, in, c.out, 0, 1.4142135f, 'S', 0, 99, 0, 1);
  qx::qxaxes(c.s, 'S', 1, 0, 1.0f);   // step 50: majors 0 and 50, minors every 10
  qx::qxend(c.s, 'S');
  EXPECT_EQ(qx::decode_tek(c.fresh()).pages.back().segments.size(), 2u + 4u + 4u);
  qx::qxaxes_option(c.s, '5', 0, 0);
  qx::qxplot(c.s, in, c.out, 0, 1.4142135f, 'S', 0, 99, 0, 1);
  qx::qxaxes(c.s, 'S', 1, 0, 1.0f);
  qx::qxend(c.s, 'S');
  EXPECT_EQ(qx::decode_tek(c.fresh()).pages.back().segments.size(), 2u);
}

TEST(Axes, LogarithmicDecadesWithEightMinorTicks) {
  TekCapture c;
  c.s.gfx.tek.type = 1;
  qx::StringInput in("");
  for (const char sw : {'V', 'W', 'U', 'R'}) qx::qxaxes_option(c.s, sw, 0, 0);
  qx::qxaxes_option(c.s, 'X', 1, 0);
  qx::qxplot(c.s, in, c.out, 0, 1.4142135f, 'S', -2, 1, 0, 1);   // 0.01 to 10
  qx::qxaxes(c.s, 'S', 3, 0, 1.0f);
  qx::qxend(c.s, 'S');
  const auto seg = qx::decode_tek(c.bytes()).pages.back().segments;
  EXPECT_EQ(seg.size(), 4u + 3u * 8u);
  // The tick for 2 lies log10(2) of a decade to the right of the one for 1.
  const qx::ScreenTransform& t = c.s.gfx.tek.t;
  const float decade = (static_cast<float>(t.sx1 - t.sx0)) / 3.0f;
  bool found = false;
  for (const auto& s : seg) found |= std::abs(s.x0 - (t.sx0 + static_cast<int>(decade * (2 + std::log10(2.0f))))) <= 1;
  EXPECT_TRUE(found);
}

TEST(LineFit, CollinearPointsFitExactly) {
  qx::StringOutput out;
  const float x[] = {1, 2, 3}, y[] = {2, 4, 6};
  const qx::LineFit f = qx::qxfit(out, x, y);
  EXPECT_FLOAT_EQ(f.slope, 2.0f);
  EXPECT_FLOAT_EQ(f.intercept, 0.0f);
  EXPECT_EQ(f.slope_error, 0.0f);
  EXPECT_EQ(f.intercept_error, 0.0f);
  EXPECT_EQ(f.chi_square, 0.0f);
}

TEST(LineFit, ErrorsAgainstTheClosedForm) {
  qx::StringOutput out;
  const float x[] = {0, 1, 2, 3}, y[] = {1, 3, 4, 7};
  const qx::LineFit f = qx::qxfit(out, x, y);
  // Least squares: slope 1.9, intercept 0.9, residuals 0.1 0.2 -0.7 0.4: chi2 = 0.7.
  EXPECT_NEAR(f.slope, 1.9f, 1e-5f);
  EXPECT_NEAR(f.intercept, 0.9f, 1e-5f);
  EXPECT_NEAR(f.chi_square, 0.7f, 1e-5f);
  const float sigma = std::sqrt(0.7f / 2.0f);
  EXPECT_NEAR(f.slope_error, sigma * std::sqrt(1.0f / 5.0f), 1e-5f);
  EXPECT_NEAR(f.intercept_error, sigma * std::sqrt((1.0f + 36.0f / 20.0f) / 4.0f), 1e-5f);
}

TEST(LineFit, DegenerateInputs) {
  qx::StringOutput out;
  const float one[] = {3};
  qx::LineFit f = qx::qxfit(out, one, one);
  EXPECT_EQ(f.slope, 1.0f);
  EXPECT_EQ(f.intercept, 0.0f);
  const float x2[] = {1, 3}, y2[] = {5, 1};
  f = qx::qxfit(out, x2, y2);
  EXPECT_FLOAT_EQ(f.slope, -2.0f);
  EXPECT_FLOAT_EQ(f.intercept, 7.0f);
  const float xv[] = {2, 2}, yv[] = {0, 1};
  f = qx::qxfit(out, xv, yv);
  EXPECT_EQ(f.slope, 1.0e10f);
  EXPECT_EQ(f.intercept, 2.0f);
  // Three points one above the other: a vertical line too, not a division by zero.
  const float x3[] = {4, 4, 4}, y3[] = {0, 1, 2};
  f = qx::qxfit(out, x3, y3);
  EXPECT_EQ(f.slope, 1.0e10f);
  EXPECT_EQ(f.intercept, 4.0f);
  EXPECT_TRUE(std::isfinite(f.chi_square));
}

}  // namespace
