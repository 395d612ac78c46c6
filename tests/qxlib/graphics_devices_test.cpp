// The plot device table: which letter picks which device, and the library commands that reach
// every device (DEFINE/*, LINE, CLOSE).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "graphics_capture.h"
#include "qx/device.h"
#include "qx/graphics.h"
#include "qx/plot.h"
#include "plot_clients.h"

namespace {

namespace fs = std::filesystem;
using qxtest::cmd;

TEST(PlotDevices, OptionLettersPickTheirDeviceAndNothingElse) {
  struct Row {
    char letter;
    const qx::PlotDevice* device;
  };
  const Row rows[] = {
      {' ', &qx::screen_device()},     {'S', &qx::screen_device()}, {'s', &qx::screen_device()},
      {'Q', &qx::postscript_device()}, {'q', &qx::postscript_device()},
      {'H', &qx::hpgl_device()},       {'P', &qx::hpgl_device()},   {'p', &qx::hpgl_device()},
      {'V', &qx::svg_device()},        {'v', &qx::svg_device()},
      // Letters of other options (MAP/X, MAP/O, MAP/I ...) and the library's own U and O.
      {'X', nullptr}, {'O', nullptr}, {'U', nullptr}, {'I', nullptr}, {'*', nullptr}, {'\0', nullptr},
  };
  for (const Row& r : rows) EXPECT_EQ(qx::plot_device(r.letter), r.device) << "letter " << int(r.letter);
  EXPECT_EQ(qx::plot_device_letters(), "S, Q, H, P, V");
}

TEST(PlotDevices, PlotLettersBeyondTheTable) {
  qx::StringOutput out;
  qx::StringInput in("");
  qx::Session s{out};
  // U: no device, nothing said or drawn; O: not available; any other letter: the screen.
  EXPECT_NE(&qx::plot_device_for('u'), &qx::screen_device());
  EXPECT_EQ(qx::qxplot(s, in, out, 0, 1.0f, 'U', 0, 1, 0, 1), 0);
  qx::qxdraw(s, 'U', 0, 0, 3);
  qx::qxdraw(s, 'U', 1, 1, 2);
  EXPECT_EQ(qx::qxplot(s, in, out, 0, 1.0f, 'o', 0, 1, 0, 1), 0);
  EXPECT_EQ(out.text(), " Not implemented at Tarnby.\n");
  EXPECT_EQ(&qx::plot_device_for('x'), &qx::screen_device());
  EXPECT_EQ(s.dest.is_open(), false);   // nothing went to the terminal stream
}

TEST(PlotDevices, DefineStarLineAndCloseReachEveryDevice) {
  const qxtest::InScratchDir dir;
  qx::StringOutput out;
  qx::StringInput in("");
  qx::Session s{out};
  qx::qxcmd(s, in, out, false, cmd("DEFINE", 'Z', 0, "fig"));
  EXPECT_EQ(out.text(), " Unknown plot device for DEFINE (use S, Q, H, P, V or *).\n");
  qx::qxcmd(s, in, out, false, cmd("DEFINE", '*', 0, "fig"));
  EXPECT_EQ(s.gfx.ps.user_name, "fig");
  EXPECT_EQ(s.gfx.hpgl.user_name, "fig");
  EXPECT_EQ(s.gfx.svg.user_name, "fig");
  qx::qxcmd(s, in, out, false, cmd("LINE", ' ', 4));
  qx::qxcmd(s, in, out, false, cmd("LINE", ' ', -2));
  EXPECT_EQ(s.gfx.hpgl.pen, 4);
  EXPECT_DOUBLE_EQ(s.gfx.hpgl.width, 0.3);
  EXPECT_DOUBLE_EQ(s.gfx.ps.pen_number, 4.0);
  EXPECT_DOUBLE_EQ(s.gfx.ps.pen_width, 2.0);
  EXPECT_DOUBLE_EQ(s.gfx.svg.pen_number, 4.0);
  EXPECT_DOUBLE_EQ(s.gfx.svg.pen_width, 2.0);
  for (const char d : {'Q', 'H', 'V'}) ASSERT_EQ(qx::qxplot(s, in, out, 0, 1.0f, d, 0, 1, 0, 1), 0);
  out.clear();
  qx::qxcmd(s, in, out, false, cmd("CLOSE"));
  EXPECT_FALSE(s.gfx.ps.file || s.gfx.hpgl.file || s.gfx.svg.file);
  EXPECT_NE(out.text().find("Plot output file fig closed."), std::string::npos);
  EXPECT_NE(out.text().find("HP-GL plot file closed: fig.hgl"), std::string::npos);
  EXPECT_NE(out.text().find("Plot output file fig.svg closed."), std::string::npos);
  EXPECT_TRUE(fs::exists("fig") && fs::exists("fig.hgl") && fs::exists("fig.svg"));
  EXPECT_EQ(qxtest::check_svg_files(), 1);
}

}  // namespace
