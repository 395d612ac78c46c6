// SHADOW and FIND: the grid's pass rule against an independent lattice-distance test, the
// output set, and the grid angle and coefficients of a pattern built from the geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "analysis/find.h"
#include "analysis/shadow.h"
#include "analysis_support.h"

namespace {

using analysis_test::read_rays;
using analysis_test::write_rays;
using lumiray::Ray;

constexpr double kPi = 3.14159265358979;

// Independent of the fold: the distance of t from the nearest hole centre of its axis.
// Holes are centred on multiples of p (hole at origin) or halfway between (bar at origin).
bool in_hole(double t, double p, double hole, bool bar_at_origin) {
  const double shift = bar_at_origin ? p / 2 : 0.0;
  const double m = t - shift;
  const double nearest = m - p * std::round(m / p);
  return std::fabs(nearest) < hole / 2;
}

bool expect_pass(const lumiray::Grid& g, double x, double y) {
  // The grid frame turns with the grid: the point turned back by the rotation.
  const std::complex<double> q = std::complex<double>(x, y) * std::polar(1.0, -g.rotation * kPi / 180.0);
  const double hole = g.period - g.bar;
  return in_hole(q.real(), g.period, hole, g.bar_at_origin) && in_hole(q.imag(), g.period, hole, g.bar_at_origin);
}

// A lattice of points over several periods, avoiding exact edges.
std::vector<Ray> lattice_rays(double step, int half) {
  std::vector<Ray> rays = {Ray{0, 0, 0, 0, 0}, Ray{0, 1e-3, 0, 1e-3, 0}};   // image at z = 0
  for (int i = -half; i <= half; ++i)
    for (int j = -half; j <= half; ++j) rays.push_back(Ray{(i + 0.013) * step, 1e-4, (j + 0.029) * step, -2e-4, 0});
  return rays;
}

TEST(GridPasses, AgreesWithTheLatticeDistanceRule) {
  const std::vector<Ray> rays = lattice_rays(0.61e-6, 40);
  for (const bool bar : {false, true})
    for (const double rotation : {0.0, 17.0, -33.5, 90.0})
      for (const double width : {6.35e-6, 3e-6, 10e-6}) {
        const lumiray::Grid g{12.7e-6, width, rotation, bar};
        int passed = 0;
        for (const Ray& r : rays) {
          EXPECT_EQ(lumiray::grid_passes(g, r.x, r.y), expect_pass(g, r.x, r.y))
              << "bar " << bar << " rotation " << rotation << " width " << width << " at " << r.x << "," << r.y;
          passed += lumiray::grid_passes(g, r.x, r.y);
        }
        EXPECT_GT(passed, 0);
      }
}

TEST(GridPasses, BarAsWideAsThePeriodStopsEveryRay) {
  for (const bool bar : {false, true}) {
    const lumiray::Grid g{12.7e-6, 12.7e-6, 0.0, bar};
    for (const Ray& r : lattice_rays(0.5e-6, 30)) EXPECT_FALSE(lumiray::grid_passes(g, r.x, r.y));
    // Exactly on a hole's centre line, too.
    EXPECT_FALSE(lumiray::grid_passes(g, bar ? 6.35e-6 : 0.0, bar ? 6.35e-6 : 0.0));
  }
}

class Shadow : public ::testing::Test {
 protected:
  qxtest::RunResult run(const std::string& script) {
    return qxtest::run_program(qxtest::lumiray_exe(), script, dir.path());
  }
  qxtest::TempDir dir;
};

TEST_F(Shadow, OutputStartsWithTheParaxialRaysThenThePassingRaysInOrder) {
  const std::vector<Ray> rays = lattice_rays(0.83e-6, 25);
  write_rays(dir / "set.bin", rays);
  // Plane 40 micron: the lattice rays move by their angles; bar at origin, rotated 25 degrees.
  const double z = 40e-6;
  const auto r = run("DATA set\nSHADOW grid\n40\nq\nb\n10\n4\n25\ny\nEXIT\n");
  const std::vector<Ray> out = read_rays(dir / "grid.bin");
  const lumiray::Grid g{10e-6, 4e-6, 25.0, true};
  std::vector<Ray> expected = {rays[0], rays[1]};
  for (std::size_t i = 2; i < rays.size(); ++i)
    if (expect_pass(g, rays[i].x + rays[i].th * z, rays[i].y + rays[i].ph * z)) expected.push_back(rays[i]);
  ASSERT_EQ(out.size(), expected.size()) << r.out;
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].x, expected[i].x);
    EXPECT_EQ(out[i].y, expected[i].y);
    EXPECT_EQ(out[i].th, expected[i].th);
  }
  // A letter other than H or B lists the choices and asks again.
  EXPECT_NE(r.out.find(" B   Bar at origin\n H   Hole at origin\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" Grid bar centred at origin."), std::string::npos);
  EXPECT_NE(r.out.find("  Orientation   25.00000 deg"), std::string::npos);
  EXPECT_NE(r.out.find(" Hole full width    6.00000 um"), std::string::npos);
  char done[80];
  std::snprintf(done, sizeof done, " Of %6zu rays processed, %6zu passed through the grid.", rays.size(),
                expected.size() - 2);
  EXPECT_NE(r.out.find(done), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" The output rayset is in file grid.bin."), std::string::npos);
  // 60 stars under the 60-character scale.
  EXPECT_NE(r.out.find(" " + std::string(60, '_') + "\n" + std::string(60, '*') + "\n"), std::string::npos);
}

TEST_F(Shadow, SecondRunReplacesTheSetAndAFullWidthBarPassesNothing) {
  write_rays(dir / "set.bin", lattice_rays(0.83e-6, 10));
  const std::string defaults = "\n\n\n\n\n\ny\n";
  const auto r = run("DATA set\nSHADOW\n" + defaults + "SHADOW\n" + defaults + "SHADOW\n\n\n\n\n12.7\n\ny\nEXIT\n");
  // The default name is the data file's base name with "s.bin".
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\a'), 0);
  EXPECT_NE(r.out.find("Filename for output rayset (CR for sets.bin) > "), std::string::npos) << r.out;
  const std::vector<Ray> out = read_rays(dir / "sets.bin");
  EXPECT_EQ(out.size(), 2u);   // the last run: bar = period, only the paraxial rays
  EXPECT_NE(r.out.find("rays processed,      0 passed"), std::string::npos);
  // The first two runs wrote the same set, never appending to each other.
  const auto first = r.out.find("passed through the grid.");
  const auto second = r.out.find("passed through the grid.", first + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(r.out.substr(first - 30, 30), r.out.substr(second - 30, 30));
}

TEST_F(Shadow, RefusalsAndCancelledDialogueWriteNothing) {
  write_rays(dir / "set.bin", lattice_rays(1e-6, 3));
  write_rays(dir / "one.bin", {Ray{}});
  // N at the question, end of input inside the dialogue, the current set as output, a set
  // without paraxial rays.
  const auto r = run("DATA set\nSHADOW a\n\n\n\n\n\nn\nSHADOW set.bin\n\n\n\n\n\ny\nDATA one\nSHADOW c\nDATA set\nSHADOW b\n\nh\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "a.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir / "b.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir / "c.bin"));
  EXPECT_NE(r.out.find("set.bin is the current data set; it is not written over."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("?LQGRID - Unable to open set.bin."), std::string::npos);
  EXPECT_NE(r.out.find("?LQGRID - The ray set holds      1 rays; at least 2 are needed."), std::string::npos);
  EXPECT_EQ(read_rays(dir / "set.bin").size(), 49u + 2u);
  EXPECT_EQ(r.status, 0);
}

// ---------------------------------------------------------------------------------------
// FIND
// ---------------------------------------------------------------------------------------

// A pattern made from the grid geometry: the crossover D before the grid, the shadow screen
// Zs behind it. A grid of period g at angle a to the axis casts shadows of period
// |(D + Zs)/D| g / cos(true angle) along the axis; the coefficient K of x/th^i bends the
// shadow lines by the polynomial c_i = K tan(a) (D + Zs) / (D Zs^i M22^i) in m/m^i.
struct Pattern {
  double m12, m22, zs, g, acute_deg;
  std::vector<double> k;   // x/th^i, m/rad^i
  double true_angle() const { return (90.0 - acute_deg) * kPi / 180.0; }
  double d() const { return m12 / m22; }
  double period() const { return std::fabs((d() + zs) / d()) * g / std::cos(true_angle()); }
  double coefficient_mm(int i) const {
    const double per_m = k[static_cast<std::size_t>(i - 1)] * std::tan(true_angle()) * (d() + zs) /
                         (d() * std::pow(zs, i) * std::pow(m22, i));
    return per_m / std::pow(1000.0, i - 1);   // m/m^i to mm/mm^i
  }
};

TEST(FindFormulas, AngleAndCoefficientsOfAKnownPattern) {
  for (const Pattern& p : {Pattern{0.03, 0.6, 0.1, 12.7e-6, 30.0, {2e-4, -3.5, 1200.0}},
                           Pattern{-0.02, 0.4, 0.25, 25e-6, 12.5, {-7e-5, 0.8}}}) {
    const auto a = lumiray::grid_angle(p.d(), p.zs, p.g, p.period());
    ASSERT_TRUE(a);
    EXPECT_NEAR(*a, p.true_angle(), 1e-12);
    for (int i = 1; i <= static_cast<int>(p.k.size()); ++i)
      EXPECT_NEAR(lumiray::shadow_coefficient(i, p.coefficient_mm(i), p.d(), p.zs, p.g, p.period(), p.m22, *a) /
                      p.k[static_cast<std::size_t>(i - 1)],
                  1.0, 1e-12);
  }
  // Shorter shadows than the projected period, D = 0 and a zero period have no angle.
  EXPECT_FALSE(lumiray::grid_angle(0.05, 0.1, 12.7e-6, 30e-6));
  EXPECT_FALSE(lumiray::grid_angle(0.0, 0.1, 12.7e-6, 1.0));
  EXPECT_FALSE(lumiray::grid_angle(0.05, 0.1, 12.7e-6, 0.0));
  // Exactly the projected period: the grid lies across the axis, a = 0.
  EXPECT_FALSE(lumiray::grid_angle(0.05, 0.1, 12.7e-6, 3 * 12.7e-6));
}

TEST(FindSession, ReportsTheAngleAndCoefficientsOfAPattern) {
  qxtest::TempDir dir;
  const Pattern p{0.03, 0.6, 0.1, 12.7e-6, 30.0, {2e-4, -3.5}};
  analysis_test::Cof c;
  const double first[16] = {1.5, p.m12, 0, 0, -0.5, p.m22, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::copy(std::begin(first), std::end(first), std::begin(c.first));
  c.shadow = p.zs;
  analysis_test::write_cof(dir / "grid.cof", c);
  char answers[256];
  std::snprintf(answers, sizeof answers, "12.7\n%.12g 0.0001\n1.2\n9\n2\n%.12g\n%.12g\n", p.period() * 1000,
                p.coefficient_mm(1), p.coefficient_mm(2));
  const auto r = qxtest::run_program(qxtest::lumiray_exe(), "FIND/N grid\n" + std::string(answers) + "EXIT\n",
                                     dir.path());
  using analysis_test::number_after;
  EXPECT_NEAR(number_after(r.out, "Acute grid angle calculated to be ") / 30.0, 1.0, 1e-4) << r.out;
  EXPECT_NEAR(number_after(r.out, "(True angle ") / 60.0, 1.0, 1e-4);
  EXPECT_NEAR(number_after(r.out, "(x/th1) = ") / p.k[0], 1.0, 1e-4);
  EXPECT_NEAR(number_after(r.out, "(x/th2) = ") / p.k[1], 1.0, 1e-4);
  EXPECT_NEAR(number_after(r.out, "D01 = ") / p.d(), 1.0, 1e-4);
  // Initial divergence: width / (2 Zs M22) = 1.2 mm / (0.2 * 0.6 m) = 10 mrad.
  EXPECT_NEAR(number_after(r.out, "Initial beam divergence used +/- "), 10.0, 1e-4);
  EXPECT_NE(r.out.find("?FIND - The order is a whole number from 1 to 8."), std::string::npos);
  EXPECT_NE(r.out.find("                    (x/th2) = "), std::string::npos);

  // A second FIND offers the answers as defaults; a period shorter than the projected one
  // gets its message and ends the command.
  const auto again = qxtest::run_program(
      qxtest::lumiray_exe(), "FIND/N grid\n\n0.01 0\n\nFIND/N missing\n\nEXIT\n", dir.path());
  EXPECT_NE(again.out.find("?FIND - No grid angle fits"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("Calculated Coefficients"), std::string::npos);
  EXPECT_NE(again.out.find("Unable to continue with FIND.\a"), std::string::npos);
}

}  // namespace
