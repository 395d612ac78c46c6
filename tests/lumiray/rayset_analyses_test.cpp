// DIFF, DELTAE, DUMP/MULE and TRANS on ray sets written by the tests, checked against
// counts, histograms and maps computed here independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/deltae.h"
#include "analysis/diff.h"
#include "analysis/trans.h"
#include "analysis_support.h"

namespace {

namespace fs = std::filesystem;
using analysis_test::data_records;
using analysis_test::read_rays;
using analysis_test::write_rays;
using lumiray::Ray;

constexpr double kPi = 3.141592654;

class Analyses : public ::testing::Test {
 protected:
  qxtest::RunResult run(const std::string& script) {
    return qxtest::run_program(qxtest::lumiray_exe(), script, dir.path());
  }
  qxtest::TempDir dir;
};

// Paraxial rays imaging at the end of the system (z = 0), then a uniform disc of radius
// 50 micron sampled on a fine square lattice, with angles so that the plane matters.
std::vector<Ray> disc_rays() {
  std::vector<Ray> rays = {Ray{0, 0, 0, 0, 0}, Ray{0, 1e-3, 0, 1e-3, 0}};
  const double step = 0.25e-6, radius = 50e-6;
  for (int i = -200; i <= 200; ++i)
    for (int j = -200; j <= 200; ++j) {
      const double x = (i + 0.31) * step, y = (j + 0.17) * step;
      if (x * x + y * y <= radius * radius) rays.push_back(Ray{x, 0.0, y, 0.0, 0.0});
    }
  return rays;
}

TEST(BrightnessRing, HalfOpenRingsOfEqualWidth) {
  EXPECT_EQ(lumiray::brightness_ring(0.0, 10.0, 5), 1);
  EXPECT_EQ(lumiray::brightness_ring(1.999, 10.0, 5), 1);
  EXPECT_EQ(lumiray::brightness_ring(2.0, 10.0, 5), 2);
  EXPECT_EQ(lumiray::brightness_ring(9.999, 10.0, 5), 5);
  EXPECT_EQ(lumiray::brightness_ring(10.0, 10.0, 5), 0);
  EXPECT_EQ(lumiray::brightness_ring(1e300, 1e-6, 20), 0);
  EXPECT_EQ(lumiray::brightness_ring(0.5, 1.0, 1), 1);   // one ring is allowed
}

TEST_F(Analyses, DiffOfAUniformDiscIsFlatAndCountsEveryRing) {
  const std::vector<Ray> rays = disc_rays();
  write_rays(dir / "disc.bin", rays);
  const int n = 10;
  const double range = 50e-6;
  const auto r = run("DATA disc\nDIFF\n10\n\n50\nEXIT\n");
  ASSERT_TRUE(fs::exists(dir / "discbr.fit")) << r.out;
  // Independent ring count over rays 1..NTOT.
  std::vector<double> counts(n + 1, 0.0);
  int outside = 0;
  for (const Ray& ray : rays) {
    const double radius = std::sqrt(ray.x * ray.x + ray.y * ray.y);
    const int k = static_cast<int>(std::floor(radius / (range / n))) + 1;
    if (k > n) ++outside; else counts[static_cast<std::size_t>(k)] += 1;
  }
  const auto rows = data_records(dir / "discbr.fit");
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(n));
  const double density = (static_cast<double>(rays.size()) - 2) / (kPi * 2500.0e-6);   // per mm^2
  for (int k = 1; k <= n; ++k) {
    const auto& row = rows[static_cast<std::size_t>(k - 1)];
    const double rk = (k - 0.5) * 0.005, area = 2 * kPi * rk * 0.005;   // mm, mm^2
    EXPECT_NEAR(row[0], rk, 1e-9);
    EXPECT_NEAR(row[1] / (counts[static_cast<std::size_t>(k)] / area), 1.0, 1e-4) << k;
    // Flat: within a few standard deviations of the disc's density in every ring.
    EXPECT_NEAR(row[1], density, 4 * std::sqrt(counts[static_cast<std::size_t>(k)]) / area + 0.01 * density) << k;
    EXPECT_NEAR(row[2], std::sqrt(counts[static_cast<std::size_t>(k)]) / area, 1e-4 * row[2]);
  }
  char line[64];
  std::snprintf(line, sizeof line, " Number of rays outside range = %6d", outside);
  EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
  const auto lines = qxtest::split_lines(qxtest::read_file(dir / "discbr.fit"));
  EXPECT_EQ(lines[1], " Radius (mm)");
  EXPECT_EQ(lines[2], " Differential Brightness (Counts/mm^u2^r)");
  EXPECT_EQ(lines[3], " 9,0");
}

TEST_F(Analyses, DiffDefaultRangeHoldsEveryBeamRayAndBadAnswersAreAskedAgain) {
  std::vector<Ray> rays = {Ray{0, 0, 0, 0, 0}, Ray{0, 1e-3, 0, 1e-3, 0}};
  for (int i = 0; i < 50; ++i) rays.push_back(Ray{1e-6 * i, 2e-3, -0.5e-6 * i, -1e-3, 0});
  write_rays(dir / "line.bin", rays);
  // Plane 100 micron; "abc" at the annuli prompt is refused; CR keeps 20 rings and the range.
  const auto r = run("DATA line\nDIFF out\nabc\n\n100\n\nDIFF out2\n\n\n-5\nEXIT\n");
  EXPECT_NE(r.out.find(" Number of rays outside range =      0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Not a valid number"), std::string::npos);
  EXPECT_EQ(data_records(dir / "out.fit").size(), 20u);
  // A negative range is refused; no file.
  EXPECT_NE(r.out.find("?LQDIFF - Zero range."), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out2.fit"));
}

TEST_F(Analyses, DeltaeHistogramAtBinCentresAndTheAlphaSet) {
  std::vector<Ray> rays;
  for (int i = 0; i < 400; ++i) {
    const double d = -0.3 + 0.8 * std::pow(std::sin(0.37 * i), 2);
    rays.push_back(Ray{1e-6 * i, 1e-4 * std::cos(i), -2e-6, 3e-4 * std::sin(i), d});
  }
  write_rays(dir / "spread.bin", rays);
  const auto r = run("DATA spread\nDELTAE hist\nNTOT\nEXIT\n");
  double lo = rays[0].d, hi = rays[0].d;
  for (const Ray& ray : rays) lo = std::min(lo, ray.d), hi = std::max(hi, ray.d);
  std::vector<int> counts(101, 0);
  for (const Ray& ray : rays) ++counts[static_cast<std::size_t>(std::lround(std::floor((ray.d - lo) / (hi - lo) * 99 + 1.5)))];
  const auto rows = data_records(dir / "hist.fit");
  ASSERT_EQ(rows.size(), 100u) << r.out;
  for (int k = 1; k <= 100; ++k) {
    const auto& row = rows[static_cast<std::size_t>(k - 1)];
    EXPECT_NEAR(row[0], lo + (k - 1) * (hi - lo) / 99, 1e-5 * (hi - lo));
    EXPECT_NEAR(row[1], 100.0 * counts[static_cast<std::size_t>(k)] / 400, 1e-4) << k;
    EXPECT_EQ(row[2], 0.0);
  }
  EXPECT_EQ(qxtest::split_lines(qxtest::read_file(dir / "hist.fit"))[1], " DE (%)");
  const std::vector<Ray> alpha = read_rays(dir / "DEspread.bin");
  ASSERT_EQ(alpha.size(), rays.size());
  for (std::size_t i = 0; i < rays.size(); ++i) {
    EXPECT_EQ(alpha[i].x, std::sqrt(rays[i].th * rays[i].th + rays[i].ph * rays[i].ph));
    EXPECT_EQ(alpha[i].th, 0.0);
    EXPECT_EQ(alpha[i].y, rays[i].d);
    EXPECT_EQ(alpha[i].ph, 0.0);
    EXPECT_EQ(alpha[i].d, 0.0);
  }
  EXPECT_NE(r.out.find("Rearranged file alpha/DE is: DEspread.bin"), std::string::npos);
}

TEST_F(Analyses, DeltaeWithOneEnergyWritesNoHistogram) {
  write_rays(dir / "flat.bin", {Ray{0, 0, 0, 0, 0.2}, Ray{1e-6, 0, 0, 0, 0.2}});
  write_rays(dir / "empty.bin", {});
  write_rays(dir / "wide.bin", {Ray{0, 0, 0, 0, -1e308}, Ray{0, 0, 0, 0, 1e308}});
  write_rays(dir / "two.bin", {Ray{0, 0, 0, 0, 0.1}, Ray{0, 0, 0, 0, 0.2}});
  const auto r = run("DATA flat\nDELTAE flat.fit\nDATA empty\nDELTAE e\nDATA wide\nDELTAE w\n"
                     "DATA two\nDELTAE DEtwo.bin\nEXIT\n");
  EXPECT_NE(r.out.find("?DELTAE - DEtwo.bin names the rearranged ray file"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "DEtwo.bin"));
  EXPECT_EQ(analysis_test::count_of(r.out, "%DELTAE - The energy deviations span no finite width"), 2u) << r.out;
  EXPECT_FALSE(fs::exists(dir / "w.fit"));
  EXPECT_NE(r.out.find("?DELTAE - The data set holds no rays."), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "flat.fit"));
  EXPECT_FALSE(fs::exists(dir / "DEflat.bin"));
  EXPECT_FALSE(fs::exists(dir / "e.fit"));
}

std::string dump_text(const std::vector<Ray>& rays) {
  std::string t = "Dumped rays of a test\nheader 1\nheader 2\nheader 3\n";
  char rec[200];
  for (const Ray& r : rays) {
    std::snprintf(rec, sizeof rec, " %.17g, %.17g %.17g,%.17g  1.5 %.17g -2\n", r.x, r.th, r.y, r.ph, r.d);
    t += rec;
  }
  return t;
}

TEST_F(Analyses, DumpMakesTheCurrentSetFromTheText) {
  std::vector<Ray> rays;
  for (int i = 0; i < 250; ++i) rays.push_back(Ray{1e-7 * i, -3e-5 * i, 0.1 / (i + 1), 1e-3, 0.01 * (i % 7) - 0.02});
  qxtest::write_file(dir / "rays.txt", dump_text(rays));
  const auto r = run("DUMP rays\nNTOT\nVALUES 1\nEXIT\n");
  std::string caption;
  const std::vector<Ray> out = read_rays(dir / "rays.bin", &caption);
  ASSERT_EQ(out.size(), rays.size()) << r.out;
  for (std::size_t i = 0; i < rays.size(); ++i) {
    EXPECT_EQ(out[i].x, rays[i].x);
    EXPECT_EQ(out[i].th, rays[i].th);
    EXPECT_EQ(out[i].y, rays[i].y);
    EXPECT_EQ(out[i].ph, rays[i].ph);
    EXPECT_EQ(out[i].d, rays[i].d);
  }
  EXPECT_EQ(caption.substr(0, 21), "Dumped rays of a test");
  EXPECT_NE(r.out.find("    250 rays in data file."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Total number of ray vectors =        250"), std::string::npos);
  EXPECT_NE(r.out.find(" R: Rays file opened: rays.bin"), std::string::npos);
  EXPECT_NE(r.out.find(" Dump file caption: Dumped rays of a test"), std::string::npos);
  EXPECT_NE(r.out.find("Energy spread range: -2.00000E-02 to  4.00000E-02"), std::string::npos);
  // Two full lines of 50 stars, then 0 more (250 rays: one star per 100).
  EXPECT_NE(r.out.find("\n**\n"), std::string::npos);
}

TEST_F(Analyses, DumpBadRecordCommitsNothingAndOwnInputIsRefused) {
  write_rays(dir / "old.bin", {Ray{1, 2, 3, 4, 5}}, "older set");
  qxtest::write_file(dir / "old.txt", dump_text({Ray{}, Ray{}}) + " 1 2 3 4 5 6\n");
  qxtest::write_file(dir / "x.bin", dump_text({Ray{}}));
  const auto r = run("MULE old\nDUMP x.bin\nDUMP nothere\nDATA old\nDUMP\nold.txt\nEXIT\n");
  EXPECT_NE(r.out.find("?LQDUMP - Bad data at ray      3."), std::string::npos) << r.out;
  EXPECT_EQ(read_rays(dir / "old.bin").size(), 1u);
  EXPECT_NE(r.out.find("?LQDUMP - x.bin is the dump being read; it is not written over."), std::string::npos);
  EXPECT_NE(r.out.find(" nothere.txt does not exist."), std::string::npos);
  EXPECT_NE(r.out.find("old.bin is the current data set; it is not written over."), std::string::npos);
  EXPECT_EQ(qxtest::read_file(dir / "x.bin"), dump_text({Ray{}}));
}

TEST(Collimator, SquareAndEllipticalApertures) {
  lumiray::CoefficientSet c;
  EXPECT_FALSE(lumiray::passes_collimator(c, Ray{}));   // nothing loaded
  c.loaded = true;
  c.collimator_distance = 0.5;
  c.aperture = {2e-3, 1e-3, 1e-3, 0.0};   // x half 2 mm about 1 mm, y half 1 mm about 0
  c.aperture_shape = 'S';
  EXPECT_TRUE(lumiray::passes_collimator(c, Ray{2.9e-3, 0, 0.9e-3, 0, 0}));
  EXPECT_TRUE(lumiray::passes_collimator(c, Ray{0, 4e-3, 0, -1.8e-3, 0}));   // xa = 2 mm, ya = -0.9 mm
  EXPECT_FALSE(lumiray::passes_collimator(c, Ray{-1.1e-3, 0, 0, 0, 0}));
  EXPECT_TRUE(lumiray::passes_collimator(c, Ray{2.9e-3, 0, 0.9e-3, 0, 0}));
  c.aperture_shape = 'C';   // the corner of the square is outside the ellipse
  EXPECT_FALSE(lumiray::passes_collimator(c, Ray{2.9e-3, 0, 0.9e-3, 0, 0}));
  EXPECT_TRUE(lumiray::passes_collimator(c, Ray{1e-3 + 1.2e-3, 0, 0.8e-3 * 0.99, 0, 0}));
  c.aperture = {2e-3, 0.0, 0.0, 0.0};   // no y half width: the y term is left out
  EXPECT_TRUE(lumiray::passes_collimator(c, Ray{1.9e-3, 0, 5.0, 0, 0}));
  EXPECT_FALSE(lumiray::passes_collimator(c, Ray{2.1e-3, 0, 0, 0, 0}));
}

TEST_F(Analyses, TransMapsThePassingRaysIntoTheNewCurrentSet) {
  analysis_test::Cof c;
  const double first[16] = {-0.5, 0.02, 0, 0, 3.0, -2.2, 0, 0, 0, 0, 2.0, 0.1, 0, 0, -1.5, 0.425};
  std::copy(std::begin(first), std::end(first), std::begin(c.first));
  c.aperture[0] = 1e-3;
  c.aperture[2] = 0.5e-3;
  c.collimator = 0.2;
  c.theta3 = 40.0;
  analysis_test::write_cof(dir / "second.cof", c);
  std::vector<Ray> rays;
  for (int i = 0; i < 300; ++i)
    rays.push_back(Ray{1e-4 * std::sin(i), 6e-3 * std::cos(1.3 * i), 2e-4 * std::cos(i), 3e-3 * std::sin(0.7 * i),
                       0.1 * (i % 3)});
  write_rays(dir / "in.bin", rays);
  const auto r = run("DATA in\nTRANS/N second\nNTOT\nEXIT\n");
  std::vector<Ray> expected;
  for (const Ray& q : rays) {
    const double xa = q.x + 0.2 * q.th, ya = q.y + 0.2 * q.ph;
    if (std::pow(xa / 1e-3, 2) + std::pow(ya / 0.5e-3, 2) > 1) continue;
    expected.push_back(Ray{-0.5 * q.x + 0.02 * q.th + 40.0 * q.th * q.th * q.th, 3.0 * q.x - 2.2 * q.th,
                           2.0 * q.y + 0.1 * q.ph, -1.5 * q.y + 0.425 * q.ph, q.d});
  }
  ASSERT_GT(expected.size(), 50u);
  ASSERT_LT(expected.size(), rays.size());
  const std::vector<Ray> out = read_rays(dir / "secondt.bin");
  ASSERT_EQ(out.size(), expected.size()) << r.out;
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_NEAR(out[i].x, expected[i].x, 1e-15);
    EXPECT_NEAR(out[i].th, expected[i].th, 1e-15);
    EXPECT_NEAR(out[i].y, expected[i].y, 1e-15);
    EXPECT_NEAR(out[i].ph, expected[i].ph, 1e-15);
    EXPECT_EQ(out[i].d, expected[i].d);
  }
  char passed[64];
  std::snprintf(passed, sizeof passed, "%6zu rays passed through to end of system.", expected.size());
  EXPECT_NE(r.out.find(passed), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" R: Rays file opened: secondt.bin"), std::string::npos);
  std::snprintf(passed, sizeof passed, "Total number of ray vectors = %10zu", expected.size());
  EXPECT_NE(r.out.find(passed), std::string::npos);
  // Three lines of stars (300 rays, one per 100), indented 15.
  EXPECT_NE(r.out.find("\n               ***\n"), std::string::npos);
}

TEST_F(Analyses, TransAllMissAndAFailedReadEndTheCommand) {
  analysis_test::Cof c;
  c.aperture[1] = 1.0;   // the aperture centred 1 m off the axis: every ray misses
  analysis_test::write_cof(dir / "off.cof", c);
  qxtest::write_file(dir / "bad.cof", " Bad\n 1 2 3\n");
  write_rays(dir / "in.bin", {Ray{}, Ray{0, 1e-3, 0, 1e-3, 0}, Ray{1e-6, 0, 0, 0, 0}});
  const auto r = run("TRANS/N off\nDATA in\nTRANS/N bad\nNTOT\nTRANS/N off\nNTOT\nEXIT\n");
  EXPECT_NE(r.out.find("?TRANS - No ray file is open; use DATA or FAKE first."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Error getting coefficients"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "badt.bin"));
  EXPECT_NE(r.out.find("Total number of ray vectors =          3"), std::string::npos);
  EXPECT_NE(r.out.find("     0 rays passed through to end of system."), std::string::npos);
  EXPECT_NE(r.out.find("Total number of ray vectors =          0"), std::string::npos);
  EXPECT_EQ(read_rays(dir / "offt.bin").size(), 0u);
}

}  // namespace

namespace {

// The end of the input at each question in turn: the command ends, the program ends as EXIT
// does, and the file the whole dialogue would write is not there.
TEST_F(Analyses, EndOfInputAtEveryQuestionWritesNothing) {
  std::vector<Ray> rays = {Ray{0, 0, 0, 0, 0}, Ray{0, 1e-3, 0, 1e-3, 0}};
  for (int i = 0; i < 40; ++i) rays.push_back(Ray{1e-6 * i, 1e-4 * i, -1e-6 * i, 2e-4, 0.01 * i});
  write_rays(dir / "set.bin", rays);
  analysis_test::write_cof(dir / "second.cof", analysis_test::Cof{});
  analysis_test::Cof grid;
  const double first[16] = {1.5, 0.03, 0, 0, -0.5, 0.6, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::copy(std::begin(first), std::end(first), std::begin(grid.first));
  analysis_test::write_cof(dir / "grid.cof", grid);
  qxtest::write_file(dir / "rays.txt", dump_text({Ray{}, Ray{}}));
  struct Case {
    std::string start;                  // the lines before the questions
    std::vector<std::string> answers;   // every answer of the whole dialogue
    std::string written;                // the file the whole dialogue writes
    std::string shown = "";             // or what it prints at its end
  };
  const Case cases[] = {
      {"DATA set\nSHADOW\n", {"out", "0", "B", "10", "2", "5", "y"}, "out.bin"},
      {"DATA set\nDIFF br\n", {"10", "0", "50"}, "br.fit"},
      {"DATA set\nDELTAE\n", {"hist"}, "hist.fit"},
      {"DATA set\nPLOT/Q\n", {"X", "X", "T", "", ""}, "lumiray.run"},
      {"DATA set\nTRANS\n", {"second", "n"}, "secondt.bin"},
      {"DUMP\n", {"rays"}, "rays.bin"},
      {"FIND\n", {"grid", "n", "12.7", "0.0762 0", "1", "2", "1e-3", "2e-3"}, "", "(x/th2) = "},
  };
  for (const Case& c : cases) {
    for (std::size_t k = 0; k < c.answers.size(); ++k) {
      std::string script = c.start;
      for (std::size_t i = 0; i < k; ++i) script += c.answers[i] + "\n";
      const auto r = run(script);
      EXPECT_EQ(r.status, 0) << script << r.out;
      if (!c.written.empty()) {
        EXPECT_FALSE(fs::exists(dir / c.written)) << script << r.out;
      }
    }
    std::string whole = c.start;
    for (const std::string& a : c.answers) whole += a + "\n";
    const auto r = run(whole + "EXIT\n");
    EXPECT_NE(r.out.find(c.shown), std::string::npos) << whole << r.out;
    if (!c.written.empty()) {
      EXPECT_TRUE(fs::exists(dir / c.written)) << whole << r.out;
      fs::remove(dir / c.written);
    }
  }
}

}  // namespace
