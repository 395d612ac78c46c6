// PLOT: the extents it prints against the rays', the dots on the screen against the rays
// inside the limits, the plot files, and the dialogue's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/phase_plot.h"
#include "analysis_support.h"
#include "qx/tekdecode.h"

namespace {

namespace fs = std::filesystem;
using analysis_test::number_after;
using analysis_test::write_rays;
using lumiray::Ray;

class Plot : public ::testing::Test {
 protected:
  qxtest::RunResult run(const std::string& script) {
    return qxtest::run_program(qxtest::lumiray_exe(), script, dir.path());
  }
  qxtest::TempDir dir;
};

// Paraxial rays imaging 1 mm behind the end (zx = zy = 1000 um), then a spread of rays.
std::vector<Ray> spread(int n) {
  std::vector<Ray> rays = {Ray{0, 0, 0, 0, 0}, Ray{-1e-6, 1e-3, -1e-6, 1e-3, 0}};
  for (int i = 0; i < n; ++i)
    rays.push_back(Ray{30e-6 * std::sin(0.7 * i), 25e-3 * std::cos(1.3 * i), -12e-6 * std::cos(0.4 * i),
                       8e-3 * std::sin(2.1 * i), 0.2 * std::sin(0.05 * i)});
  return rays;
}

TEST(PhaseValue, UnitsAndPlane) {
  const Ray r{1e-6, 2e-3, -3e-6, -4e-3, 0.25};
  EXPECT_DOUBLE_EQ(lumiray::phase_value(r, 0.0, 'X'), 1.0);
  EXPECT_DOUBLE_EQ(lumiray::phase_value(r, 1e-3, 'X'), 1.0 + 2.0);      // x + th z, in um
  EXPECT_DOUBLE_EQ(lumiray::phase_value(r, 1e-3, 'Y'), -3.0 - 4.0);
  EXPECT_DOUBLE_EQ(lumiray::phase_value(r, 1e-3, 'T'), 2.0);            // mrad, not moved
  EXPECT_DOUBLE_EQ(lumiray::phase_value(r, 1e-3, 'P'), -4.0);
  EXPECT_DOUBLE_EQ(lumiray::phase_value(r, 1e-3, 'E'), 0.25);           // percent as stored
}

TEST_F(Plot, ExtentsAndTheDotsInsideTheLimits) {
  const std::vector<Ray> rays = spread(300);
  write_rays(dir / "s.bin", rays);
  // The X image plane; X against T with limits of +/-20 (whole-number tick labels, so no
  // label draws a dot); no captions, no paraxial rays.
  const auto r = run("DATA s\nDEST plot.tek\nPLOT/D C\nPLOT/D P\nPLOT\nX\nq\nx\nt\n-20 20\n20,-20\nEXIT\n");
  const double z = 1e-3;
  double xlo = 1e9, xhi = -1e9, tlo = 1e9, thi = -1e9, elo = 1e9, ehi = -1e9;
  long inside = 0;
  for (std::size_t i = 2; i < rays.size(); ++i) {
    const double x = (rays[i].x + rays[i].th * z) * 1e6, t = rays[i].th * 1e3;
    xlo = std::min(xlo, x), xhi = std::max(xhi, x), tlo = std::min(tlo, t), thi = std::max(thi, t);
    elo = std::min(elo, rays[i].d), ehi = std::max(ehi, rays[i].d);
    inside += x >= -20 && x <= 20 && t >= -20 && t <= 20;
  }
  EXPECT_NE(r.out.find(" Image plotted at Z =   1.00000E-03 m"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("    302 rays."), std::string::npos);
  EXPECT_NEAR(number_after(r.out, " Xmin = "), xlo, 1e-4 * std::fabs(xlo));
  EXPECT_NEAR(number_after(r.out, " to Xmax = "), xhi, 1e-4 * std::fabs(xhi));
  EXPECT_NEAR(number_after(r.out, " Trange = "), thi - tlo, 1e-4 * (thi - tlo));
  EXPECT_NEAR(number_after(r.out, " Emin = "), elo, 1e-4 * std::fabs(elo));
  EXPECT_NEAR(number_after(r.out, " Erange = "), ehi - elo, 1e-4 * (ehi - elo));
  // "q" is not a quantity: the question comes again.
  EXPECT_EQ(analysis_test::count_of(r.out, "Parameter on horizontal ? (X,T,Y,P,E) > "), 2u);
  EXPECT_NE(r.out.find("         Parameter on vertical ? (X,T,Y,P,E) > "), std::string::npos);
  EXPECT_NE(r.out.find(" Limits on X-axis ("), std::string::npos);
  EXPECT_NE(r.out.find(" Run number    1 ......"), std::string::npos);
  const qx::TekDrawing d = qx::decode_tek(qxtest::read_file(dir / "plot.tek"));
  ASSERT_FALSE(d.pages.empty());
  // The frame: the long lines. Text and tick labels outside it may hold dots of their own.
  int fx0 = 1024, fx1 = -1, fy0 = 1024, fy1 = -1;
  for (const qx::TekSegment& s : d.pages.back().segments)
    if (std::abs(s.x1 - s.x0) + std::abs(s.y1 - s.y0) > 300) {
      fx0 = std::min({fx0, s.x0, s.x1}), fx1 = std::max({fx1, s.x0, s.x1});
      fy0 = std::min({fy0, s.y0, s.y1}), fy1 = std::max({fy1, s.y0, s.y1});
    }
  long dots = 0;
  for (const qx::TekSegment& s : d.pages.back().segments)
    dots += s.x0 == s.x1 && s.y0 == s.y1 && s.x0 >= fx0 && s.x0 <= fx1 && s.y0 >= fy0 && s.y0 <= fy1;
  EXPECT_GT(inside, 50);
  EXPECT_LT(inside, 300);
  EXPECT_EQ(dots, inside);
  qxtest::write_file(dir / "plot.svg", qx::tek_page_svg(d.pages.back()));

  // MAP's scale drawing adds a bar of 10 um (the largest power of ten up to 1.7 times the
  // half range of 20 um): a quarter of the frame's width.
  const auto again = run("DATA s\nDEST bar.tek\nMAP/E S\nPLOT\nX\nx\nt\n-20 20\n20,-20\nEXIT\n");
  const qx::TekDrawing b = qx::decode_tek(qxtest::read_file(dir / "bar.tek"));
  ASSERT_FALSE(b.pages.empty()) << again.out;
  int bars = 0;
  for (const qx::TekSegment& s : b.pages.back().segments)
    bars += s.y0 == s.y1 && std::abs(std::abs(s.x1 - s.x0) - (fx1 - fx0) / 4) <= 2 && s.y0 > fy0 && s.y0 < fy1;
  EXPECT_EQ(bars, 1);
}

TEST_F(Plot, PostScriptAndHpglFiles) {
  write_rays(dir / "s.bin", spread(200));
  const auto r = run("DATA s\nPLOT/Q\nY\nY\nP\n\n\nPLOT/H\nO\n-500\nE\nT\n\n\nCLOSE\nEXIT\n");
  EXPECT_NE(r.out.find("plt01.ps"), std::string::npos) << r.out;
  EXPECT_EQ(qxtest::read_file(dir / "plt01.ps").substr(0, 2), "%!");
  EXPECT_TRUE(fs::exists(dir / "H1.hgl"));
  EXPECT_NE(r.out.find(" Run number    2 ......"), std::string::npos);
  // Both files are kept for rendering when QX_KEEP_PLOTS names a directory.
  if (const char* keep = std::getenv("QX_KEEP_PLOTS"))
    for (const char* f : {"plt01.ps", "H1.hgl"}) fs::copy_file(dir / f, fs::path(keep) / f, fs::copy_options::overwrite_existing);
}

TEST_F(Plot, SwitchesRefusalsAndSmallSets) {
  write_rays(dir / "one.bin", {Ray{}});
  write_rays(dir / "flat.bin", {Ray{}, Ray{0, 1e-3, 0, 1e-3, 0}, Ray{1e-6, 0, 0, 0, 0}, Ray{2e-6, 0, 0, 0, 0}});
  write_rays(dir / "far.bin", {Ray{}, Ray{0, 1e-3, 0, 1e-3, 0}, Ray{1e30, 0, 0, 0, 0}, Ray{-1e30, 0, 1, 0, 0}});
  const auto r = run("PLOT/E W\nPLOT/D S\nPLOT\nDATA one\nPLOT\nDATA far\nPLOT\nX\nX\nY\n\n\n"
                     "DATA flat\nPLOT\nX\nX\nY\n\n\nPLOT\nX\nX\n");
  EXPECT_NE(r.out.find("?PLOT - A limit is too large to plot"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" Window mode enabled."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" Unknown option: S"), std::string::npos);   // scale drawing is MAP's
  EXPECT_EQ(analysis_test::count_of(r.out, " ? - No data for display."), 2u);
  // All y equal: the area of the plot is zero.
  EXPECT_NE(r.out.find("  Zero range on one axis"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "lumiray.run"));
  EXPECT_EQ(r.status, 0);   // the input ends at a question: the command ends, then the program
}

}  // namespace
