// SORT, PROFIL, MAXIMA and MAP driven as a user would (lumiray_script.h), on ray sets the
// tests write themselves. Every count is checked against a binning done here from the rays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "io/rayfile.h"
#include "analysis_support.h"
#include "lumiray_script.h"
#include "qx/tekdecode.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;
using lumiray::Ray;
using lumiray_script::count_of;
using Analysis = lumiray_script::Session;

void write_set(const fs::path& p, const std::vector<Ray>& rays) { analysis_test::write_rays(p, rays, "Test beam"); }

// A beam imaged at the end of the system (ray 2 crosses ray 1 there), n further rays from a
// small generator: centred on (cx, cy), half sizes hx, hy (m), angles up to 1 mrad.
std::vector<Ray> beam(int n, double cx, double cy, double hx, double hy) {
  std::vector<Ray> rays{{0, 0, 0, 0, 0}, {0, 1e-3, 0, 1e-3, 0}};
  unsigned long long x = 12345;
  auto next = [&] {
    x = (x * 6364136223846793005ULL + 1442695040888963407ULL);
    return static_cast<double>(x >> 11) / 9007199254740992.0 * 2.0 - 1.0;
  };
  for (int i = 0; i < n; ++i) {
    const double u = next(), v = next(), t = next(), p = next(), d = next();
    rays.push_back(Ray{cx + hx * u, 1e-3 * t, cy + hy * v, 1e-3 * p, 0.5 * d});
  }
  return rays;
}

// The numbers of a comma-separated record.
std::vector<double> numbers(const std::string& line) {
  std::vector<double> v;
  std::stringstream in(line);
  std::string item;
  while (std::getline(in, item, ',')) v.push_back(std::strtod(item.c_str(), nullptr));
  return v;
}

// The records of a plot-data file after its n header records.
std::vector<std::vector<double>> points(const fs::path& p, std::size_t header) {
  std::vector<std::vector<double>> rows;
  const auto lines = qxtest::split_lines(qxtest::read_file(p));
  for (std::size_t i = header; i < lines.size(); ++i) rows.push_back(numbers(lines[i]));
  return rows;
}

// The number that follows `label` in the transcript.
double value_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  EXPECT_NE(at, std::string::npos) << label << "\n" << text;
  return at == std::string::npos ? 0.0 : std::strtod(text.c_str() + at + label.size(), nullptr);
}

struct Square {
  double lo, range;
};
// The data square of SORT: ray 1 and rays 3.. at the end of the system, widened by 5 %.
Square data_square(const std::vector<Ray>& rays) {
  double lo = std::min(rays[0].x, rays[0].y), hi = std::max(rays[0].x, rays[0].y);
  for (std::size_t i = 2; i < rays.size(); ++i) {
    lo = std::min({lo, rays[i].x, rays[i].y});
    hi = std::max({hi, rays[i].x, rays[i].y});
  }
  return Square{lo - 0.025 * (hi - lo), 1.05 * (hi - lo)};
}

// Counts of every ray on an n x n grid of points lo + k range/(n-1), each ray at its
// nearest point; rays nearer to no point than half a spacing are left out.
std::map<std::pair<int, int>, long> binned(const std::vector<Ray>& rays, Square sq, int n) {
  std::map<std::pair<int, int>, long> cells;
  const double spacing = sq.range / (n - 1);
  for (const Ray& r : rays) {
    const long i = std::lround((r.x - sq.lo) / spacing), j = std::lround((r.y - sq.lo) / spacing);
    if (i >= 0 && i < n && j >= 0 && j < n) ++cells[{static_cast<int>(i) + 1, static_cast<int>(j) + 1}];
  }
  return cells;
}

void expect_grid(const fs::path& agp, const std::vector<Ray>& rays, Square sq, int n) {
  const auto rows = points(agp, 3);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(n * n));
  const auto cells = binned(rays, sq, n);
  long total = 0;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      const auto& row = rows[static_cast<std::size_t>((j - 1) * n + (i - 1))];
      const auto c = cells.find({i, j});
      const long expected = c == cells.end() ? 0 : c->second;
      EXPECT_NEAR(row[0], (sq.lo + (i - 1) * sq.range / (n - 1)) * 1e6, 1e-4 * sq.range * 1e6) << i;
      EXPECT_NEAR(row[1], (sq.lo + (j - 1) * sq.range / (n - 1)) * 1e6, 1e-4 * sq.range * 1e6) << j;
      EXPECT_EQ(static_cast<long>(row[2]), expected) << i << "," << j;
      total += static_cast<long>(row[2]);
    }
  EXPECT_GT(total, 0);
}

// ---------------------------------------------------------------------------------------
// SORT
// ---------------------------------------------------------------------------------------
TEST_F(Analysis, SortCountsEveryRayIntoTheNearestGridPointOfTheDataSquare) {
  // Off the axis: the empty answer keeps the data square, it does not centre it on the axis.
  const auto rays = beam(3000, 20e-6, -3e-6, 5e-6, 4e-6);
  write_set(dir / "beam.bin", rays);
  const auto r = run("DATA beam\nSORT\n\n\n\n\nEXIT\n");
  const Square sq = data_square(rays);
  const std::string parts[] = {
      " ------------------------------------------------------------------------------\n"
      "                     Ray sorting options\n",
      "                     Output in file beam.agp\n Size of grid (NxN) (CR for N=25) > ",
      " X image =   0.00000E+00 um Y image =   0.00000E+00 um\n Image distance (micron) (CR for 0) > ",
      " Truncating map to ",
  };
  lumiray_script::expect_parts(r.out, parts);
  // Printed to five significant digits.
  EXPECT_NEAR(value_after(r.out, "Using a maximum range of "), sq.range * 1e6, 1e-5 * sq.range * 1e6);
  EXPECT_NEAR(value_after(r.out, "Rmin "), sq.lo * 1e6, 1e-5 * std::fabs(sq.lo) * 1e6);
  EXPECT_EQ(count_of(r.out, "fell outside the grid"), 0u);
  expect_grid(dir / "beam.agp", rays, sq, 25);
  const auto lines = qxtest::split_lines(qxtest::read_file(dir / "beam.agp"));
  EXPECT_EQ(lines[0], " Test beam");
  EXPECT_EQ(lines[1], " X (^gg^rm)");
  EXPECT_EQ(lines[2], " Y (^gg^rm)");
}

TEST_F(Analysis, SortWithATypedRangeCentresTheSquareOnTheAxisAndTruncates) {
  const auto rays = beam(2000, 20e-6, -3e-6, 5e-6, 4e-6);
  write_set(dir / "beam.bin", rays);
  // 11 x 11 points over 30 um centred on the axis: the beam's right part falls outside.
  const auto r = run("DATA beam\nSORT grid\n11\n0\n30\n3\nEXIT\n");
  const Square sq{-15e-6, 30e-6};
  const auto cells = binned(rays, sq, 11);
  long inside = 0;
  for (const auto& [cell, n] : cells) inside += n;
  EXPECT_NE(r.out.find(std::to_string(static_cast<long>(rays.size()) - inside) + " rays fell outside the grid."),
            std::string::npos)
      << r.out;
  const auto rows = points(dir / "grid.agp", 3);
  ASSERT_EQ(rows.size(), 121u);
  EXPECT_DOUBLE_EQ(rows[0][0], -15.0);
  EXPECT_DOUBLE_EQ(rows[120][1], 15.0);
  for (int k = 0; k < 121; ++k) {
    const auto c = cells.find({k % 11 + 1, k / 11 + 1});
    EXPECT_EQ(rows[static_cast<std::size_t>(k)][2], std::min(3L, c == cells.end() ? 0 : c->second)) << k;
  }
}

TEST_F(Analysis, GridSizesOutsideTwoToNinetyAreSetToTheLimit) {
  write_set(dir / "beam.bin", beam(50, 0, 0, 5e-6, 5e-6));
  const auto r = run("DATA beam\nSORT a\n200\n\n\n\nSORT b\n1\n\n\n\nEXIT\n");
  EXPECT_NE(r.out.find(" Index too big, grid set to 90x90\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" %LQSORT - A grid has at least 2x2 points; grid set to 2x2."), std::string::npos);
  EXPECT_EQ(points(dir / "a.agp", 3).size(), 8100u);
  EXPECT_EQ(points(dir / "b.agp", 3).size(), 4u);
}

// A cell of more than 32767 rays, and a count too wide for its I5 field, are written whole;
// the edge scan's sums and the percentage table's reference count likewise.
TEST_F(Analysis, CountsBeyondSixteenBitsAndBeyondTheirFieldsAreWrittenWhole) {
  std::vector<Ray> rays{{0, 0, 0, 0, 0}, {0, 1e-3, 0, 1e-3, 0}, {4e-6, 0, 4e-6, 0, 0}};
  rays.resize(100003, Ray{1e-6, 0, 1e-6, 0, 0});
  write_set(dir / "dense.bin", rays);
  const auto r = run("DATA dense\nSORT/F dense\n5\n\n\n\nSORT/P pc\n5\n\n\n\nT\nEXIT\n");
  // The square is -0.1 .. 4.1 um, five points 1.05 um apart; 1 um is nearest point 2.
  const auto rows = points(dir / "dense.agp", 3);
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[6][2], 100000.0);
  EXPECT_NE(qxtest::read_file(dir / "dense.agp").find(",100000\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Maximum intensity is 100000 counts, truncation value > "), std::string::npos) << r.out;
  const auto edge = qxtest::split_lines(qxtest::read_file(dir / "dense.FIT"));
  ASSERT_EQ(edge.size(), 12u);
  EXPECT_EQ(edge[0], " Edge scan dense");
  EXPECT_EQ(edge[1], " Channel");
  EXPECT_EQ(edge[2], " Number of counts");
  EXPECT_EQ(edge[3], " 12,1");
  EXPECT_EQ(edge[7], "  1,        2,   1.4142    ");   // rays 1 and 2 at the axis
  EXPECT_EQ(edge[8], "  2,   100002,   316.23    ");
  EXPECT_EQ(edge[11], "  5,   100003,   316.23    ");
  const auto pc = qxtest::split_lines(qxtest::read_file(dir / "pc.lpt"));
  ASSERT_GE(pc.size(), 6u);
  EXPECT_EQ(pc[0], " 100003-    1    2    3    4    5 ");
  EXPECT_EQ(pc[1], "    1- 0.00 0.00 0.00 0.00 0.00 ");   // ray 1 at the origin: row 1 is -0.1 um
  EXPECT_EQ(pc[2], "    2- 0.00 100. 0.00 0.00 0.00 ");   // 99.997 % in F4.0, not a field of stars
  EXPECT_NE(qxtest::read_file(dir / "pc.lpt").find(" Data expressed as a percentage of     100003 counts.\n"
                                                  " This is the total number of counts.\n"),
            std::string::npos);
}

TEST_F(Analysis, PercentagesOfTheHighestCellInTheirThreeWidths) {
  // Cells of 1000, 100, 10 and 1 rays at the four corners of a 2 x 2 grid.
  std::vector<Ray> rays{{0, 0, 0, 0, 0}, {0, 1e-3, 0, 1e-3, 0}};
  auto add = [&](int n, double x, double y) {
    rays.insert(rays.end(), static_cast<std::size_t>(n), Ray{x, 0, y, 0, 0});
  };
  add(998, 0, 0);   // with rays 1 and 2: 1000 at the origin
  add(100, 10e-6, 0);
  add(10, 0, 10e-6);
  add(1, 10e-6, 10e-6);
  write_set(dir / "corners.bin", rays);
  run("DATA corners\nSORT/P c\n2\n\n\n\nM\nEXIT\n");
  const auto pc = qxtest::split_lines(qxtest::read_file(dir / "c.lpt"));
  ASSERT_GE(pc.size(), 7u);
  EXPECT_EQ(pc[0], " 1000-    1    2 ");
  EXPECT_EQ(pc[1], "    1- 100. 10.0 ");
  EXPECT_EQ(pc[2], "    2- 1.00 0.10 ");
  EXPECT_EQ(pc[5], " This is the highest count in a channel.");
}

TEST_F(Analysis, RadialCountsAndIntensityPerAnnulus) {
  // Rays at radii 0.5, 1.5 (twice) and 2.5 um, and one beyond 1000 steps of 1 um.
  std::vector<Ray> rays{{0, 0, 0, 0, 0}, {0, 1e-3, 0, 1e-3, 0}, {0.5e-6, 0, 0, 0, 0}, {0, 0, -1.5e-6, 0, 0},
                        {0.9e-6, 0, 1.2e-6, 0, 0}, {-1.5e-6, 0, 2.0e-6, 0, 0}, {2e-3, 0, 0, 0, 0}};
  write_set(dir / "rings.bin", rays);
  const auto r = run("DATA rings\nSORT/C rc\n\n\nC\nSORT/C ri\n\n\nI\nEXIT\n");
  EXPECT_NE(r.out.find(" Radius out of range, I =       2001 r =   2.00000E-03\n"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "rc.agp"));
  const auto counts = qxtest::split_lines(qxtest::read_file(dir / "rc.fit"));
  ASSERT_EQ(counts.size(), 10u);
  EXPECT_EQ(counts[0], " Counts as a function of radius");
  EXPECT_EQ(counts[7], "   0.50000    ,    3,   1.7321    ");   // rays 1, 2 (at the axis) and 3
  EXPECT_EQ(counts[8], "    1.5000    ,    2,   1.4142    ");
  EXPECT_EQ(counts[9], "    2.5000    ,    1,   1.0000    ");
  const auto intensity = points(dir / "ri.fit", 7);
  ASSERT_EQ(intensity.size(), 3u);
  const double pi = std::acos(-1.0);
  EXPECT_NEAR(intensity[1][1], 2.0 / (pi * (4.0 - 1.0)), 1e-5);
  EXPECT_NEAR(intensity[1][2], std::sqrt(2.0) / (pi * 3.0), 1e-5);
}

// ---------------------------------------------------------------------------------------
// PROFIL and MAXIMA
// ---------------------------------------------------------------------------------------
TEST_F(Analysis, ProfileCountsEqualAHistogramAndTheMaximumIsInChannel21) {
  const auto rays = beam(500, 3e-6, 0, 5e-6, 5e-6);
  write_set(dir / "beam.bin", rays);
  const auto r = run("DATA beam\nPROFIL/X\n\nPROFIL/E\n10\nEXIT\n");
  double lo = rays[0].x, hi = rays[0].x;
  for (const Ray& ray : rays) lo = std::min(lo, ray.x), hi = std::max(hi, ray.x);
  std::vector<long> histogram(22, 0);
  for (const Ray& ray : rays) ++histogram[static_cast<std::size_t>(20 * (ray.x - lo) / (hi - lo) + 1.5)];
  EXPECT_NE(r.out.find(" Output in file beamx.fit\n Number of channels along X-axis (CR for 20) > "), std::string::npos)
      << r.out;
  const auto lines = qxtest::split_lines(qxtest::read_file(dir / "beamx.fit"));
  ASSERT_EQ(lines.size(), 7u + 21u);
  EXPECT_EQ(lines[0], " X-profile for beam.bin");
  EXPECT_EQ(lines[1], " X - axis (difference from centre range) (^2l^cm)");
  EXPECT_EQ(lines[3], " 12,0");
  const auto rows = points(dir / "beamx.fit", 7);
  for (int c = 1; c <= 21; ++c) {
    EXPECT_EQ(rows[static_cast<std::size_t>(c - 1)][1], histogram[static_cast<std::size_t>(c)]) << c;
    EXPECT_NEAR(rows[static_cast<std::size_t>(c - 1)][0], ((c - 1) * (hi - lo) / 20 - (hi - lo) / 2) * 1e6, 1e-4);
  }
  EXPECT_GE(rows[20][1], 1.0);   // the ray at the maximum
  // The energy profile stays in percent: its axis runs over the spread of +/-0.5 %.
  const auto e = points(dir / "beame.fit", 7);
  EXPECT_EQ(qxtest::split_lines(qxtest::read_file(dir / "beame.fit"))[1],
            " E - axis (difference from centre range) (%)");
  ASSERT_EQ(e.size(), 11u);
  EXPECT_NEAR(e[0][0], -0.5, 0.01);
  EXPECT_NEAR(e[10][0], 0.5, 0.01);
}

// Channel n + 1 must fit the 1000 channels: more than 999 are refused with a message.
TEST_F(Analysis, ProfileTakesAtMost999Channels) {
  write_set(dir / "beam.bin", beam(200, 0, 0, 5e-6, 5e-6));
  const auto r = run("DATA beam\nPROFIL/Y many\n5000\nEXIT\n");
  EXPECT_NE(r.out.find(" %LQPROFILE - At most 999 channels; 999 used.\n"), std::string::npos) << r.out;
  const auto rows = points(dir / "manyy.fit", 7);
  ASSERT_FALSE(rows.empty());
  long total = 0;
  for (const auto& row : rows) total += static_cast<long>(row[1]);
  EXPECT_EQ(total, 202);
  EXPECT_EQ(rows.size() <= 1000u, true);
}

TEST_F(Analysis, MaximaUsesTheRegisterNamedAndStoresInTheOptionsRegister) {
  auto rays = beam(300, 1e-6, -2e-6, 4e-6, 6e-6);
  rays[1].x = -1e-7;   // the X image plane 100 um behind the end of the system
  write_set(dir / "beam.bin", rays);
  const auto r = run("DATA beam\nALOAD/2 250\nMAXIMA/3 A2\nREG/L\nEXIT\n");
  const double z = 100e-6 + 250e-6;   // measured from the X image plane, not from the end
  double m = 0.0;
  for (std::size_t i = 2; i < rays.size(); ++i)
    m = std::max({m, std::fabs(rays[i].x + rays[i].th * z), std::fabs(rays[i].y + rays[i].ph * z)});
  const double expected = 1.05 * m * 1e6;
  EXPECT_NEAR(value_after(r.out, "the max. extent is "), expected, 1e-5 * expected) << r.out;
  EXPECT_NEAR(value_after(r.out, " At Z = "), 250.0, 1e-9);
  EXPECT_NEAR(value_after(r.out, " A3 = "), expected, 1e-4 * expected);
  EXPECT_NEAR(value_after(r.out, " A2 = "), 250.0, 1e-9);
}

// ---------------------------------------------------------------------------------------
// MAP
// ---------------------------------------------------------------------------------------
TEST_F(Analysis, MapPrintsTheExtentsAndDrawsEveryRayInsideTheWindow) {
  const auto rays = beam(400, 2e-6, 1e-6, 3e-6, 2e-6);
  write_set(dir / "beam.bin", rays);
  // Window mode, 1 um about the data centre: only the rays within it are drawn.
  const auto r = run("DATA beam\nDEST map.tek\nMAP/D C\nMAP/E W\nMAP\nX\n1\nEXIT\n");
  double xmin = 1, xmax = -1, ymin = 1, ymax = -1;
  for (std::size_t i = 2; i < rays.size(); ++i) {
    xmin = std::min(xmin, rays[i].x), xmax = std::max(xmax, rays[i].x);
    ymin = std::min(ymin, rays[i].y), ymax = std::max(ymax, rays[i].y);
  }
  EXPECT_NEAR(value_after(r.out, " Xmin = "), xmin * 1e6, 1e-5 * 5.0) << r.out;   // five digits
  EXPECT_NEAR(value_after(r.out, " to Xmax = "), xmax * 1e6, 1e-5 * 5.0);
  EXPECT_NEAR(value_after(r.out, " Yrange = "), (ymax - ymin) * 1e6, 1e-5 * 4.0);
  EXPECT_NE(r.out.find(" Captions disabled.\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Using window mode.\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Run number    1 ......\n"), std::string::npos);
  const double cx = (xmin + xmax) / 2, cy = (ymin + ymax) / 2;
  long inside = 0;
  for (const Ray& ray : rays) inside += std::fabs(ray.x - cx) <= 1e-6 && std::fabs(ray.y - cy) <= 1e-6;
  const qx::TekDrawing d = qx::decode_tek(qxtest::read_file(dir / "map.tek"));
  ASSERT_FALSE(d.pages.empty());
  long dots = 0, lines = 0;
  for (const qx::TekSegment& s : d.pages.back().segments) (s.x0 == s.x1 && s.y0 == s.y1 ? dots : lines) += 1;
  EXPECT_EQ(dots, inside);
  EXPECT_GT(inside, 20);
  EXPECT_LT(inside, 300);
  EXPECT_EQ(lines, 5);   // the box
  EXPECT_EQ(qxtest::read_file(dir / "lumiray.run").find('1') != std::string::npos, true);
}

// The scale bar of a map a micrometre across: 0.1 um, the largest power of ten up to 1.7
// times the half width (bars shorter than 1 um are drawn too).
TEST_F(Analysis, ScaleBarOfASubMicronMap) {
  write_set(dir / "tiny.bin", beam(100, 0, 0, 0.3e-6, 0.2e-6));
  const auto r = run("DATA tiny\nDEST map.tek\nMAP/D C\nMAP/E S\nMAP\nX\n0.5\nEXIT\n");
  const qx::TekDrawing d = qx::decode_tek(qxtest::read_file(dir / "map.tek"));
  ASSERT_FALSE(d.pages.empty()) << r.out;
  int box = 0, bottom = 1 << 20;   // the box: the longest horizontal strokes
  for (const qx::TekSegment& s : d.pages.back().segments)
    if (s.y0 == s.y1) box = std::max(box, std::abs(s.x1 - s.x0));
  for (const qx::TekSegment& s : d.pages.back().segments)
    if (s.y0 == s.y1 && std::abs(s.x1 - s.x0) == box) bottom = std::min(bottom, s.y0);
  int bar = 0;   // the longest horizontal stroke below the box
  for (const qx::TekSegment& s : d.pages.back().segments)
    if (s.y0 == s.y1 && s.y0 < bottom) bar = std::max(bar, std::abs(s.x1 - s.x0));
  EXPECT_NEAR(bar, box * 0.1 / 1.0, 2.0);   // 0.1 um of a box 1 um across
}

TEST_F(Analysis, MapToPostScriptAndHpglRendersAndRepeatsOnTheLastDevice) {
  write_set(dir / "beam.bin", beam(400, 0, 0, 3e-6, 2e-6));
  const auto r = run("DATA beam\nMAP/E S\nMAP/Q\nX\n\nMAP/R\nMAP/H\nY\n5\nMAP/D X\nEXIT\n");
  EXPECT_NE(r.out.find(" Scale drawing enabled.\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Unknown option: X\n"), std::string::npos);
  EXPECT_EQ(count_of(r.out, " Preparing to map at Z = "), 3u) << r.out;
  EXPECT_NE(r.out.find(" Run number    3 ......\n"), std::string::npos);
  ASSERT_TRUE(fs::exists(dir / "plt02.ps"));   // MAP/R drew on PostScript again (a new file per plot)
  ASSERT_TRUE(fs::exists(dir / "H1.hgl"));
  const std::string at = "cd '" + dir.path().string() + "' && ";
  for (const char* ps : {"plt01.ps", "plt02.ps"})
    EXPECT_EQ(std::system((at + "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r30 -sOutputFile=m.pbm " + ps +
                           " >/dev/null 2>&1").c_str()), 0) << ps;
  EXPECT_TRUE(fs::exists(dir / "m.pbm"));
  EXPECT_EQ(std::system((at + "hp2xx -q -m pbm -d 30 -f h.pbm H1.hgl >/dev/null 2>&1").c_str()), 0);
  EXPECT_TRUE(fs::exists(dir / "h.pbm"));
}

TEST_F(Analysis, MapToSvgDrawsADotForEveryRayInTheBox) {
  const auto rays = beam(150, 0, 0, 3e-6, 2e-6);
  write_set(dir / "beam.bin", rays);
  const auto r = run("DATA beam\nMAP/D C\nMAP/V\nX\n\nEXIT\n");
  ASSERT_TRUE(fs::exists(dir / "plt01.svg")) << r.out;
  const std::string svg = qxtest::read_file(dir / "plt01.svg");
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  // A dot is a stroke of no length; every ray is inside the box. Rays 1 and 2 meet on the axis
  // in the X image plane, one dot drawn over the other, which the file holds once.
  EXPECT_EQ(count_of(svg, "h0"), rays.size() - 1);
  if (std::system("command -v rsvg-convert >/dev/null 2>&1") == 0) {
    const std::string at = "cd '" + dir.path().string() + "' && ";
    EXPECT_EQ(std::system((at + "rsvg-convert plt01.svg -o m.png >/dev/null 2>&1").c_str()), 0);
  }
}

// The plane dialogue: F and G are offered once FAKE has found the focal positions; O asks for
// a distance; any other answer lists the choices and asks again. MAP/I takes the plane from
// the X image plane and the half width from A0.
TEST_F(Analysis, PlaneDialogueAndTheRegisterPlanesOfMapI) {
  copy_doublet();
  const std::string fake = "FAKE/N sys\n" + lumiray_script::FakeAnswers{}.text();
  const auto r = run("DATA sys.cof\n" + fake + "MAP/U\nZ\nF\n\nMAP/U\nO\n-2500\n\nALOAD/0 3\nMAP/I 40\nEXIT\n");
  const std::string parts[] = {
      " Plane for image analysis (X, Y, F, G or Other plane) >  X      X image plane\n"
      " Y      Y image plane\n O      Other plane\n F      X focal point\n G      Y focal point\n"
      " Plane for image analysis (X, Y, F, G or Other plane) >  Image plotted at Z =  -8.00000E-03 m\n",
      " F (x focal point)  -8.00000E-03 m\n G (y focal point)  -2.66667E-02 m\n (Relative to end of system)\n"
      " Y Image ",
      "  Distance (micron) >  Image plotted at Z =  -2.50000E-03 m\n",
  };
  lumiray_script::expect_parts(r.out, parts);
  // MAP/I: no questions, 40 um behind the X image plane, the box 2 x 3 um.
  const std::size_t at = r.out.find(" lumiray>  Image plotted at Z = ");
  ASSERT_NE(at, std::string::npos) << r.out;
  const double z = value_after(r.out.substr(at), "Z = ");
  EXPECT_NEAR(z, value_after(r.out, "X Image ") * 1e-6 + 40e-6, 1e-10);   // the O branch showed zx
  EXPECT_EQ(r.out.find("other? >", at), std::string::npos);
  EXPECT_EQ(count_of(r.out, " Preparing to map at Z = "), 3u);
}

// ---------------------------------------------------------------------------------------
// Sets with nothing to analyse, files that must not be written, the end of the input
// ---------------------------------------------------------------------------------------
TEST_F(Analysis, EmptyOneRayAndFlatSetsGetMessages) {
  write_set(dir / "empty.bin", {});
  write_set(dir / "one.bin", {{1e-6, 0, 1e-6, 0, 0}});
  write_set(dir / "flat.bin", {{0, 0, 0, 0, 0}, {0, 1e-3, 0, 1e-3, 0}, {0, 0, 0, 0, 0}});
  const auto r = run("SORT\nDATA empty\nSORT\nPROFIL/X\nMAP\nMAXIMA\nDATA one\nSORT\n\n\nPROFIL/Y\nMAP\nMAXIMA/1\n"
                     "DATA flat\nSORT\n\n\nPROFIL/X\nMAP/Q\nX\n\nEXIT\n");
  const std::string parts[] = {
      " ?LQSORT - No ray file is open; use DATA or FAKE first.\n",
      " ?LQSORT - The data set holds no rays.\n",
      " ?LQPROFILE - The data set holds no rays.\n",
      " ? - No data for display.\n",
      " No data!\n",
      " Bad paraxial rays.\n",
      " ?LQSORT - Zero range.\n",
      " Y-range from   1.00000E-06 to   1.00000E-06\n  Zero range!\n",
      " X-range from   0.00000E+00 to   0.00000E+00\n  Zero range!\n",
      " ? - Zero range; nothing to map.\n",
  };
  lumiray_script::expect_parts(r.out, parts);
  EXPECT_EQ(count_of(r.out, " ?LQSORT - Zero range.\n"), 2u);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(fs::exists(dir / "one.agp"));   // nothing half made is left
  EXPECT_FALSE(fs::exists(dir / "plt01.ps"));
}

// Rays at the ends of the double range: no infinite grid point or channel reaches a file.
TEST_F(Analysis, RaysSpreadBeyondTheRangeOfADoubleAreRefused) {
  write_set(dir / "wide.bin", {{0, 0, 0, 0, 0}, {0, 1e-3, 0, 1e-3, 0}, {-1e308, 0, -1e308, 0, 0},
                               {1e308, 0, 1e308, 0, 0}});
  const auto r = run("DATA wide\nSORT\n\n\nPROFIL/X\nMAP/Q\nX\n\nEXIT\n");
  EXPECT_NE(r.out.find(" ?LQSORT - The rays spread too far to sort.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" ?LQPROFILE - The range is too wide to histogram.\n"), std::string::npos);
  EXPECT_NE(r.out.find(" ? - The map is too wide to plot.\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "wide.agp"));
  EXPECT_FALSE(fs::exists(dir / "widex.fit"));
  EXPECT_FALSE(fs::exists(dir / "plt01.ps"));
}

TEST_F(Analysis, OutputsNeverReplaceTheDataSetAndSecondaryFilesAreNew) {
  write_set(dir / "x.agp", beam(30, 0, 0, 2e-6, 2e-6));
  qxtest::write_file(dir / "s.lpt", "keep\n");
  write_set(dir / "s.bin", beam(30, 0, 0, 2e-6, 2e-6));
  const std::string before = qxtest::read_file(dir / "x.agp");
  const auto r = run("DATA x.agp\nSORT\nPROFIL/X x.agp\n\nDATA s\nSORT/P\n\n\n\n\nT\nEXIT\n");
  EXPECT_NE(r.out.find(" ?LQSORT - x.agp is the current data set; it is not written over.\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(qxtest::read_file(dir / "x.agp"), before);
  EXPECT_NE(r.out.find(" Output in file xx.fit\n"), std::string::npos);
  EXPECT_NE(r.out.find(" ?LQSORT - Unable to open s.lpt\n"), std::string::npos);
  EXPECT_EQ(qxtest::read_file(dir / "s.lpt"), "keep\n");
}

// The input ends at every prompt in turn: the command is cancelled, the program ends as at
// EXIT, and a file whose contents were not complete is not left behind.
TEST_F(Analysis, EndOfInputAtEveryPromptCancels) {
  write_set(dir / "b.bin", beam(50, 0, 0, 2e-6, 2e-6));
  const std::pair<std::string, std::vector<std::string>> commands[] = {
      {"SORT/P", {"", "", "", "", "T"}}, {"SORT/C", {"", "", "C"}}, {"PROFIL", {"X", ""}},
      {"MAXIMA", {""}},                  {"MAP/U", {"O", "0", ""}},
  };
  for (const auto& [command, answers] : commands) {
    for (std::size_t k = 0; k < answers.size(); ++k) {
      fs::remove(dir / "b.agp");
      std::string script = "DATA b\n" + command + "\n";
      for (std::size_t i = 0; i < k; ++i) script += answers[i] + "\n";
      const auto r = run(script);
      EXPECT_EQ(r.status, 0) << command << " " << k;
      EXPECT_EQ(r.err, "") << command << " " << k;
      if (command == "SORT/P" && k < 4) {
        EXPECT_FALSE(fs::exists(dir / "b.agp")) << k;
      }
    }
  }
}

// The demo's macro: after FAKE the set is sorted and mapped to PostScript, and the map is
// where the demo says it is.
TEST(Demo, SortsTheSetAndMapsItToPostScript) {
  qxtest::TempDir tmp;
  const fs::path build = fs::path(qxtest::lumiray_exe()).parent_path().parent_path();
  const std::string cmd = "TMPDIR='" + tmp.path().string() + "' sh '" + qxtest::example("demo.sh").string() +
                          "' '" + build.string() + "' > '" + (tmp / "out").string() + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << qxtest::read_file(tmp / "out");
  const std::string out = qxtest::read_file(tmp / "out");
  const std::size_t at = out.find("== the map of the ray set in the X image plane: ");
  ASSERT_NE(at, std::string::npos) << out;
  const std::size_t start = out.find(": ", at) + 2;
  const fs::path map = out.substr(start, out.find('\n', start) - start);
  EXPECT_EQ(map.filename(), "plt01.ps");
  EXPECT_GT(fs::file_size(map), 10000u);
  EXPECT_TRUE(fs::exists(map.parent_path() / "triplet.agp"));
  EXPECT_EQ(qxtest::split_lines(qxtest::read_file(map.parent_path() / "triplet.agp")).size(), 3u + 625u);
  EXPECT_NE(out.find(" Preparing to map at Z = "), std::string::npos);
}

}  // namespace
