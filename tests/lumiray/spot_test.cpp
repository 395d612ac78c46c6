// SPOT and SPOT/S: every number it prints checked against a computation done here from the
// rays the test wrote (long double sums, full sorts, the FWHM rule of the help text), the
// plane of the smallest spot found on a set focused at a known plane, the sets with nothing
// to measure, and the command table that SPOT joined without taking an abbreviation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "abbreviations.h"
#include "analysis/spot.h"
#include "io/rayfile.h"
#include "analysis_support.h"
#include "lumiray_script.h"
#include "qx/command.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;
using lumiray::Ray;
using Spot = lumiray_script::Session;

void write_set(const fs::path& p, const std::vector<Ray>& rays) { analysis_test::write_rays(p, rays, "Spot test"); }

// A small generator of its own: uniform in (0, 1), and normal by Box-Muller.
class Random {
 public:
  double uniform() {
    x_ = x_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return (static_cast<double>(x_ >> 11) + 0.5) / 9007199254740992.0;
  }
  double normal() { return std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); }

 private:
  unsigned long long x_ = 987654321ULL;
};

// The paraxial rays of a set whose X image plane is zx and Y image plane zy behind the end.
std::vector<Ray> paraxial(double zx, double zy) {
  return {{0, 0, 0, 0, 0}, {-1e-3 * zx, 1e-3, -1e-3 * zy, 1e-3, 0}};
}

// ---------------------------------------------------------------------------------------
// What SPOT prints, read back with the precision it was printed to
// ---------------------------------------------------------------------------------------

// One printed value and half a unit of its last digit (G13.5: E or F form).
struct Printed {
  double value = 0.0, half_unit = 0.0;
};
Printed printed(const std::string& token) {
  Printed p{std::strtod(token.c_str(), nullptr), 0.0};
  const std::size_t dot = token.find('.'), e = token.find('E');
  if (e != std::string::npos) {
    const int exponent = std::atoi(token.c_str() + e + 1);
    p.half_unit = 0.5 * std::pow(10.0, exponent - static_cast<int>(e - dot - 1));
  } else {
    p.half_unit = 0.5 * std::pow(10.0, -static_cast<int>(token.size() - dot - 1));
  }
  return p;
}

// The numbers printed after the label on its line (the first line holding it), up to the
// first word that is not a number.
std::vector<Printed> values_after(const std::string& text, const std::string& label) {
  std::vector<Printed> v;
  const std::size_t at = text.find(label);
  EXPECT_NE(at, std::string::npos) << label << "\n" << text;
  if (at == std::string::npos) return v;
  const std::size_t start = at + label.size();
  std::istringstream line(text.substr(start, text.find('\n', start) - start));
  for (std::string token; line >> token;) {
    char* end = nullptr;
    std::strtod(token.c_str(), &end);
    if (end != token.c_str() + token.size()) break;
    v.push_back(printed(token));
  }
  return v;
}

void expect_printed(const std::string& text, const std::string& label, const std::vector<long double>& expected) {
  const std::vector<Printed> got = values_after(text, label);
  ASSERT_EQ(got.size(), expected.size()) << label;
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_LE(std::fabs(got[i].value - static_cast<double>(expected[i])), got[i].half_unit * (1 + 1e-9))
        << label << " value " << i + 1 << ": " << got[i].value << " against " << static_cast<double>(expected[i]);
}

// ---------------------------------------------------------------------------------------
// The computation SPOT must agree with, done here from the rays (m)
// ---------------------------------------------------------------------------------------
struct Expected {
  long double cx = 0, cy = 0, rms_x = 0, rms_y = 0, fwhm_x = 0, fwhm_y = 0;
  std::array<long double, 4> wx{}, wy{}, d{};
};

long holding(int percent, std::size_t n) {
  return static_cast<long>(std::ceil(static_cast<long double>(percent) * n / 100.0L));
}

// The narrowest interval holding m of the values: of all windows of m consecutive sorted
// values, the shortest.
long double narrowest(std::vector<double> v, long m) {
  std::sort(v.begin(), v.end());
  long double best = v.back() - v.front();
  for (std::size_t i = 0; i + static_cast<std::size_t>(m) <= v.size(); ++i)
    best = std::min<long double>(best, v[i + static_cast<std::size_t>(m) - 1] - v[i]);
  return best;
}

// The FWHM rule of the help text: channels of width max(W50/10, range/10000) from the
// smallest value; crossings of half the fullest channel interpolated between channel centres,
// with empty channels beyond the ends.
long double fwhm_by_rule(std::vector<double> v, double w50) {
  std::sort(v.begin(), v.end());
  const double lo = v.front(), range = v.back() - lo;
  if (range == 0) return 0;
  const double h = std::max(w50 / 10.0, range / 10000.0);
  const long channels = static_cast<long>(range / h) + 1;
  std::vector<double> count(static_cast<std::size_t>(channels) + 2, 0.0);   // one empty channel each side
  for (double x : v) count[static_cast<std::size_t>(std::min(static_cast<long>((x - lo) / h), channels - 1)) + 1] += 1;
  const double half = *std::max_element(count.begin(), count.end()) / 2;
  std::size_t a = 1, b = count.size() - 2;
  while (count[a] < half) ++a;
  while (count[b] < half) --b;
  const auto centre = [&](std::size_t k) { return lo + (static_cast<double>(k) - 0.5) * h; };
  const double left = centre(a - 1) + h * (half - count[a - 1]) / (count[a] - count[a - 1]);
  const double right = centre(b) + h * (count[b] - half) / (count[b] - count[b + 1]);
  return right - left;
}

Expected expected_at(const std::vector<Ray>& rays, double z) {
  std::vector<double> x, y;
  for (std::size_t i = 2; i < rays.size(); ++i) {
    x.push_back(rays[i].x + rays[i].th * z);
    y.push_back(rays[i].y + rays[i].ph * z);
  }
  const std::size_t n = x.size();
  Expected e;
  for (std::size_t i = 0; i < n; ++i) e.cx += x[i], e.cy += y[i];
  e.cx /= n, e.cy /= n;
  std::vector<long double> r;
  for (std::size_t i = 0; i < n; ++i) {
    const long double dx = x[i] - e.cx, dy = y[i] - e.cy;
    e.rms_x += dx * dx, e.rms_y += dy * dy;
    r.push_back(std::sqrt(dx * dx + dy * dy));
  }
  e.rms_x = std::sqrt(e.rms_x / n), e.rms_y = std::sqrt(e.rms_y / n);
  std::sort(r.begin(), r.end());
  const int percents[] = {50, 80, 90, 100};
  for (int k = 0; k < 4; ++k) {
    const long m = holding(percents[k], n);
    e.wx[k] = narrowest(x, m), e.wy[k] = narrowest(y, m);
    e.d[k] = 2 * r[static_cast<std::size_t>(m - 1)];
  }
  e.fwhm_x = fwhm_by_rule(x, static_cast<double>(e.wx[0]));
  e.fwhm_y = fwhm_by_rule(y, static_cast<double>(e.wy[0]));
  return e;
}

std::vector<long double> um(std::initializer_list<long double> metres) {
  std::vector<long double> v;
  for (long double m : metres) v.push_back(m * 1e6L);
  return v;
}
std::vector<long double> um(const std::array<long double, 4>& metres) {
  return um({metres[0], metres[1], metres[2], metres[3]});
}

// ---------------------------------------------------------------------------------------
// The pure pieces
// ---------------------------------------------------------------------------------------
TEST(SpotPieces, RaysHoldingAShareRoundUp) {
  struct Case {
    int percent;
    long n, m;
  };
  const Case cases[] = {{50, 1, 1}, {100, 1, 1}, {50, 3, 2}, {90, 10, 9}, {90, 11, 10},
                        {80, 20000, 16000}, {50, 194481, 97241}, {100, 194481, 194481}};
  for (const Case& c : cases) EXPECT_EQ(lumiray::rays_holding(c.percent, c.n), c.m) << c.percent << " of " << c.n;
}

TEST(SpotPieces, NarrowestWidthsAndFwhmOfSmallProfiles) {
  struct Case {
    std::vector<double> sorted;
    long m;
    double width, fwhm;
  };
  const Case cases[] = {
      // Ten evenly spaced values: 5 of them span 4; channels 0.4 wide, every value alone in its
      // channel, so the half maximum is crossed half a channel outside the first and last.
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 5, 4.0, 9.2},
      // Three spikes of three rays and two far single rays: 6 of 11 span 2.5, channels are
      // 0.25 wide, half maximum 1.5 leaves the single rays out; the crossings lie half a
      // channel outside the outer spikes' channels [0, 0.25) and [5, 5.25).
      {{-20, 0, 0, 0, 2.5, 2.5, 2.5, 5, 5, 5, 30}, 6, 2.5, 5.25},
      {{2, 2, 2}, 2, 0.0, 0.0},   // all at one point
      {{7}, 1, 0.0, 0.0},         // one ray
  };
  for (const Case& c : cases) {
    const double w = lumiray::narrowest_width(c.sorted, c.m);
    EXPECT_NEAR(w, c.width, 1e-12) << c.sorted.size();
    EXPECT_NEAR(lumiray::profile_fwhm(c.sorted, w), c.fwhm, 1e-9) << c.sorted.size();
  }
}

// The rule measures a normal profile: FWHM = 2 sqrt(2 ln 2) sigma, and the narrowest 50 %
// interval is the interquartile range 1.349 sigma. The fullest of the ~10000-ray channels near
// the peak lies a little above the mean (noise), which narrows the FWHM by about 1 %.
TEST(SpotPieces, NormalProfileHasItsTextbookWidths) {
  Random rnd;
  std::vector<double> v(200000);
  for (double& x : v) x = 3e-6 * rnd.normal();
  std::sort(v.begin(), v.end());
  const double w50 = lumiray::narrowest_width(v, lumiray::rays_holding(50, 200000));
  EXPECT_NEAR(w50 / 3e-6, 1.34898, 0.01);
  EXPECT_NEAR(lumiray::profile_fwhm(v, w50) / 3e-6, 2.35482, 0.06);
}

// ---------------------------------------------------------------------------------------
// SPOT in the program
// ---------------------------------------------------------------------------------------

// 20000 rays (two paraxial, so 19998 measured: the shares round up) about a centroid off the
// axis: x normal, y uniform with a far halo of 5 %, angles to 2 mrad; image planes 0.2 mm
// (x) and 0.35 mm (y) behind the end.
std::vector<Ray> random_set() {
  Random rnd;
  std::vector<Ray> rays = paraxial(0.2e-3, 0.35e-3);
  for (int i = 0; i < 19998; ++i) {
    const double th = 2e-3 * (2 * rnd.uniform() - 1), ph = 2e-3 * (2 * rnd.uniform() - 1);
    const double halo = rnd.uniform() < 0.05 ? 20e-6 : 1.0;
    const double x = 0.7e-6 + 0.4e-6 * rnd.normal() * (halo > 1.0 ? 10.0 : 1.0);
    const double y = -1.1e-6 + (halo > 1.0 ? halo : 0.6e-6) * (2 * rnd.uniform() - 1);
    rays.push_back(Ray{x - th * 0.2e-3, th, y - ph * 0.2e-3, ph, 0});
  }
  return rays;
}

TEST_F(Spot, NumbersEqualAnIndependentComputationAndTheDiameterIsStored) {
  const std::vector<Ray> rays = random_set();
  write_set(dir / "beam.bin", rays);
  for (const char* plane : {"X", "I 30"}) {
    const double z = plane[0] == 'X' ? 0.2e-3 : 0.2e-3 + 30e-6;
    const std::string command = plane[0] == 'X' ? "SPOT/7\nX\n" : "SPOT/I 30\n";
    const auto r = run("DATA beam\nALOAD/0 3.5\n" + command + "REG/L\nEXIT\n");
    SCOPED_TRACE(plane);
    const Expected e = expected_at(rays, z);
    expect_printed(r.out, " Spot at Z = ", {z});
    EXPECT_NE(r.out.find(" m,  19998 rays\n"), std::string::npos) << r.out;
    expect_printed(r.out, " Centroid x, y (um): ", um({e.cx, e.cy}));
    expect_printed(r.out, " RMS size x, y (um): ", um({e.rms_x, e.rms_y}));
    expect_printed(r.out, " FWHM x, y (um): ", um({e.fwhm_x, e.fwhm_y}));
    expect_printed(r.out, " Width in x holding 50, 80, 90, 100 % (um): ", um(e.wx));
    expect_printed(r.out, " Width in y holding 50, 80, 90, 100 % (um): ", um(e.wy));
    expect_printed(r.out, " Diameter holding 50, 80, 90, 100 % (um): ", um(e.d));
    // SPOT/7 keeps the 50 % diameter in A7; A0 (MAP/I's half width) is left alone.
    expect_printed(r.out, " A7 = ", {plane[0] == 'X' ? e.d[0] * 1e6L : 0.0L});
    expect_printed(r.out, " A0 = ", {3.5L});
    EXPECT_EQ(r.out.find("NaN"), std::string::npos);
  }
}

TEST_F(Spot, PlaneOptionsAndTheDialogueChooseTheSamePlanesAsMap) {
  write_set(dir / "beam.bin", random_set());
  struct Case {
    std::string lines;
    double z;
  };
  const Case cases[] = {
      {"SPOT/X\n", 0.2e-3},       {"SPOT/Y\n", 0.35e-3},       {"SPOT\nY\n", 0.35e-3},
      {"SP\nQ\nX\n", 0.2e-3},     {"SPOT/O\n25\n", 25e-6},     {"ALOAD/2 -10\nSPOT/J A2\n", 0.2e-3 - 10e-6},
      {"SPOT/2\nO\n-40\n", -40e-6},
  };
  for (const Case& c : cases) {
    const auto r = run("DATA beam\n" + c.lines + "EXIT\n");
    expect_printed(r.out, " Spot at Z = ", {c.z});
    EXPECT_EQ(lumiray_script::count_of(r.out, " Spot at Z = "), 1u) << c.lines << r.out;
  }
}

// Every ray passes through a focus 12 um behind the X image plane within 5 nm; the scan in
// 1 um steps finds that plane, writes one record a plane and prints each plane's diameters.
TEST_F(Spot, ScanFindsThePlaneOfTheSmallestSpot) {
  const double zx = 0.5e-3, focus = zx + 12e-6;
  Random rnd;
  std::vector<Ray> rays = paraxial(zx, zx);
  for (int i = 0; i < 5000; ++i) {
    const double th = 10e-3 * (2 * rnd.uniform() - 1), ph = 10e-3 * (2 * rnd.uniform() - 1);
    const double fx = 5e-9 * (2 * rnd.uniform() - 1), fy = 5e-9 * (2 * rnd.uniform() - 1);
    rays.push_back(Ray{fx - th * focus, th, fy - ph * focus, ph, 0});
  }
  write_set(dir / "focus.bin", rays);
  const auto r = run("DATA focus\nSPOT/S\n-20 20 41\nEXIT\n");
  EXPECT_NE(r.out.find(" From, to (um from the X image plane), number of planes > "), std::string::npos);
  EXPECT_NE(r.out.find(" Output in file focus.spt\n"), std::string::npos) << r.out;
  const Expected at_focus = expected_at(rays, focus);
  expect_printed(r.out, " Smallest 50 % diameter ", {at_focus.d[0] * 1e6L});
  EXPECT_NE(r.out.find(" um at Z =    12.000     um\n"), std::string::npos) << r.out;
  const auto lines = qxtest::split_lines(qxtest::read_file(dir / "focus.spt"));
  ASSERT_EQ(lines.size(), 7u + 41u);
  EXPECT_EQ(lines[0], " Spot size through focus for focus.bin");
  EXPECT_EQ(lines[3], " 12,0");
  for (int k = 0; k < 41; ++k) {
    std::string rec = lines[7 + static_cast<std::size_t>(k)];
    std::replace(rec.begin(), rec.end(), ',', ' ');
    std::istringstream in(rec);
    std::vector<Printed> v;
    for (std::string token; in >> token;) v.push_back(printed(token));
    ASSERT_EQ(v.size(), 5u) << rec;
    const Expected e = expected_at(rays, zx + (k - 20) * 1e-6);
    const long double want[] = {k - 20.0L, e.rms_x * 1e6L, e.rms_y * 1e6L, e.d[0] * 1e6L, e.d[2] * 1e6L};
    for (int i = 0; i < 5; ++i)
      EXPECT_LE(std::fabs(v[static_cast<std::size_t>(i)].value - static_cast<double>(want[i])),
                v[static_cast<std::size_t>(i)].half_unit * (1 + 1e-9))
          << "plane " << k << " column " << i;
  }
}

// ---------------------------------------------------------------------------------------
// Nothing to measure, bad answers, the end of the input
// ---------------------------------------------------------------------------------------
TEST_F(Spot, EmptyParaxialOnlyOnePointAndBadScansGetMessages) {
  write_set(dir / "empty.bin", {});
  write_set(dir / "one.bin", {{1e-6, 0, 1e-6, 0, 0}});
  std::vector<Ray> single = paraxial(1e-4, 1e-4);
  single.push_back({2e-6, 0, -3e-6, 0, 0});
  write_set(dir / "single.bin", single);
  std::vector<Ray> point = paraxial(1e-4, 1e-4);
  for (int i = 0; i < 50; ++i) point.push_back({1e-6, 0, 1e-6, 0, 0});
  write_set(dir / "point.bin", point);
  std::vector<Ray> wild = paraxial(1e-4, 1e-4);
  wild.push_back({0, 0, 0, 0, 0});
  wild.push_back({0, std::nan(""), 0, 0, 0});
  write_set(dir / "wild.bin", wild);
  wild.erase(wild.begin() + 2);
  write_set(dir / "nowhere.bin", wild);
  wild.push_back({0, 1e200, 0, 0, 0});
  write_set(dir / "far.bin", wild);
  struct Case {
    std::string script;
    std::vector<std::string> parts;
  };
  const Case cases[] = {
      {"SPOT\n", {" ?SPOT - No ray file is open; use DATA or FAKE first.\n"}},
      {"DATA empty\nSPOT/S\n", {" ?SPOT - The data set holds no rays.\n"}},
      {"DATA one\nSPOT/X\n", {" ?SPOT - The set holds only its paraxial rays; there is no spot.\n"}},
      {"DATA single\nSPOT/X\n",
       {" %SPOT - Every ray is at the same point; all sizes are 0.\n", " m,      1 rays\n",
        " Centroid x, y (um):    2.0000      -3.0000    \n",
        " Diameter holding 50, 80, 90, 100 % (um):   0.00000E+00  0.00000E+00  0.00000E+00  0.00000E+00\n"}},
      {"DATA point\nSPOT/Y\n",
       {" %SPOT - Every ray is at the same point; all sizes are 0.\n", " FWHM x, y (um):   0.00000E+00  0.00000E+00\n",
        " Width in y holding 50, 80, 90, 100 % (um):   0.00000E+00  0.00000E+00  0.00000E+00  0.00000E+00\n"}},
      {"DATA point\nSPOT/S\n-1 1 0\nSPOT/S\n1 2 1001\n",
       {" ?SPOT - The number of planes is a whole number from 1 to 1000; nothing is scanned.\n"}},
      {"DATA point\nSPOT/S\nnear far 3\n\n-1 1 1\n",
       {" ?SPOT - Type three numbers: from and to in micron, and the number of planes.\n",
        " Smallest 50 % diameter   0.00000E+00 um at Z =   -1.0000     um\n"}},
      {"DATA wild\nSPOT/X\n",
       {" %SPOT -      1 rays are not at a finite position in the plane; left out.\n", " m,      1 rays\n"}},
      {"DATA nowhere\nSPOT/S\n0 1 2\n", {" ?SPOT - No ray is at a finite position in the plane.\n"}},
      {"DATA far\nSPOT/X\n", {" ?SPOT - The rays spread too far to measure.\n"}},
      {"DATA point\nSPOT/W\n", {" ?SPOT - Unknown option: W\n"}},
  };
  for (const Case& c : cases) {
    fs::remove(dir / "point.spt");
    fs::remove(dir / "nowhere.spt");
    const auto r = run(c.script + "EXIT\n");
    for (const std::string& part : c.parts) EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    EXPECT_EQ(r.out.find("NaN"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 0) << c.script;
  }
  EXPECT_FALSE(fs::exists(dir / "nowhere.spt"));   // a scan that stopped leaves no file
}

TEST_F(Spot, EndOfInputAtEveryPromptCancels) {
  write_set(dir / "b.bin", random_set());
  for (const char* script : {"DATA b\nSPOT\n", "DATA b\nSPOT/O\n", "DATA b\nSPOT/S\n"}) {
    const auto r = run(script);
    EXPECT_EQ(r.status, 0) << script;
    EXPECT_EQ(r.err, "") << script;
    EXPECT_EQ(r.out.find(" Spot at Z = "), std::string::npos) << script;
  }
  EXPECT_FALSE(fs::exists(dir / "b.spt"));
}

// ---------------------------------------------------------------------------------------
// The command table
// ---------------------------------------------------------------------------------------

// SPOT took the first free slot after DIFF: every word's shortest abbreviation in the table
// as it was still selects that word, and SP selects SPOT.
TEST_F(Spot, NoAbbreviationChangedMeaningAndSpSelectsSpot) {
  const std::vector<std::string> before = {
      "MENU", "SHADOW", "SMEAR",  "INFO",   "DATA",  "FAKE",   "CLEAR",  "@",      "PREV",   "NTOT",  "REG",
      "ALOAD", "ILOAD", "FLASH",  "REWIND", "REGSAV", "REGLD", "INCR",   "EXIT",   "MAP",    "STOP",  "LIST",
      "SAVE",  "SORT",  "MAXIMA", "CAPTIO", "COLOUR", "VALUES", "ICOUL", "DOTMOD", "HELP",   "DELETE", "DELTAE",
      "$",     "!",     "FIND",   "MULE",   "TRANS",  "PROFIL", "PLOT",  "DUMP",   "DIFF"};
  const auto r = run("MENU\nSP\nEXIT\n");
  const std::vector<std::string> now = qxtest::menu_words(r.out, "LUMIRAY commands:");
  ASSERT_EQ(now.size(), before.size() + 1) << r.out;
  EXPECT_TRUE(std::equal(before.begin(), before.end(), now.begin()));
  EXPECT_EQ(now[before.size()], "SPOT");
  const auto first_match = [](const std::string& word, const std::vector<std::string>& table) {
    std::vector<std::string_view> slots(table.begin(), table.end());
    const int i = qx::match_command(word, slots);
    return i < 0 ? std::string() : table[static_cast<std::size_t>(i)];
  };
  for (const std::string& word : before) {
    std::string shortest;
    for (std::size_t n = 1; n <= word.size() && shortest.empty(); ++n)
      if (first_match(word.substr(0, n), before) == word) shortest = word.substr(0, n);
    ASSERT_FALSE(shortest.empty()) << word;
    EXPECT_EQ(first_match(shortest, now), word) << shortest;
  }
  EXPECT_EQ(first_match("SP", now), "SPOT");
  EXPECT_EQ(first_match("S", now), "SHADOW");
  // Typed at the prompt, SP runs SPOT.
  EXPECT_NE(r.out.find(" ?SPOT - No ray file is open; use DATA or FAKE first.\n"), std::string::npos) << r.out;
}

// ---------------------------------------------------------------------------------------
// The demo
// ---------------------------------------------------------------------------------------

// The demo ends with the beam: SPOT in the X image plane, a 21-plane scan whose smallest
// 50 % diameter is the smallest in its file, and a map of the beam there that renders.
TEST(Demo, EndsWithTheSpotTheScanAndAMapOfTheSmallestSpot) {
  qxtest::TempDir tmp;
  const fs::path build = fs::path(qxtest::lumiray_exe()).parent_path().parent_path();
  const std::string cmd = "TMPDIR='" + tmp.path().string() + "' sh '" + qxtest::example("demo.sh").string() +
                          "' '" + build.string() + "' > '" + (tmp / "out").string() + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << qxtest::read_file(tmp / "out");
  const std::string out = qxtest::read_file(tmp / "out");
  EXPECT_NE(out.find(" lumiray>_ SPOT/X\n Spot at Z = "), std::string::npos) << out;
  EXPECT_NE(out.find(" m,  14641 rays\n"), std::string::npos);
  const std::string picture_label = "== the beam at its smallest spot: ";
  const std::size_t at = out.find(picture_label);
  ASSERT_NE(at, std::string::npos) << out;
  const std::size_t start = at + picture_label.size();
  const fs::path picture = out.substr(start, out.find('\n', start) - start);
  const fs::path work = picture.parent_path();
  const auto lines = qxtest::split_lines(qxtest::read_file(work / "triplet.spt"));
  ASSERT_EQ(lines.size(), 7u + 21u);
  double smallest = 1e300, z = 0;
  for (std::size_t i = 7; i < lines.size(); ++i) {
    std::string rec = lines[i];
    std::replace(rec.begin(), rec.end(), ',', ' ');
    std::istringstream in(rec);
    double v[5] = {};
    in >> v[0] >> v[1] >> v[2] >> v[3] >> v[4];
    if (v[3] < smallest) smallest = v[3], z = v[0];
  }
  expect_printed(out, " Smallest 50 % diameter ", {smallest});
  expect_printed(out, " um at Z = ", {z});
  EXPECT_GT(z, -400.0);   // the scan has a focus inside it, not at an end
  EXPECT_LT(z, 0.0);
  EXPECT_EQ(picture.filename(), "plt02.svg");
  EXPECT_NE(out.find(" Plot written to: plt02.svg\n"), std::string::npos);
  const std::string render =
      "rsvg-convert -o '" + (tmp / "spot.png").string() + "' '" + picture.string() + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(render.c_str()), 0);
  EXPECT_GT(fs::file_size(tmp / "spot.png"), 1000u);
}

}  // namespace
