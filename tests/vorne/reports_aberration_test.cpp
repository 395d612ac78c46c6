// THIRD, AB3 and AB2 run as a user would: each reply compared line by line with the layouts
// the reports document, the numbers from the independent evaluation of the aberration sums
// and the second-order map.
#include "reports_rig.h"

namespace {

using namespace reports_test;
using qxtest::TempDir;

const std::string kThirdHeading =
    " \n"
    " Third order aberration coefficients defined as in the early\n"
    " papers of Tessarin et al.\n"
    "\n";

// Separate octupoles only: nothing that images, so both magnifications are 1.
const std::string kOctupolesOnly =
    " Two separate octupoles\n"
    " 0.00, 1.0, 1.00728, 3.0, -1.0\n"
    " 1.00, 5.0E-6, 2.0E-4, 5.0E-6, 2.0E-4, 0.01\n"
    " 3.00, 1.0, 0.0, 0.0\n"
    " 8.00, 0.05, 0.2, 0.01\n"
    " 3.00, 0.1, 0.0, 0.0\n"
    " 8.00, 0.05, -0.1, 0.01\n"
    " 3.00, 0.2, 0.0, 0.0\n"
    " 9.00, 0.0, 0.0, 0.0\n"
    " SENTINEL\n";

std::string three_columns(double a, double b, double c) { return " " + g13(a) + " " + g13(b) + " " + g13(c); }

std::string third_table(const ref::Sums& s) {
  const auto row = [&](const char* label, int i, int j, const char* plane) {
    return std::string(" ") + "    " + label + three_columns(s.total.c[i][j], s.quad.c[i][j], s.octu.c[i][j]) +
           plane + "\n";
  };
  return "      Coeff           System     Quadrupole     Octupole\n" + row("    P     ", 1, 1, " X-Plane") +
         row("    S     ", 1, 2, "") + row("    PB    ", 2, 1, " Y-Plane") + row("    SB    ", 2, 2, "") +
         "         Units: m, radians\n\n";
}

std::string image_side_table(double c30, double c12, double c03, double c21) {
  return "      Coeff           System\n"
         "         C30   " + (" " + g13(c30)) + " X-Plane\n"
         "         C12   " + (" " + g13(c12)) + "\n"
         "         C03   " + (" " + g13(c03)) + " Y-Plane\n"
         "         C21   " + (" " + g13(c21)) + "\n"
         "         Units: m, radians\n\n";
}

std::string remaining_table(const ref::Sums& s) {
  std::string t = " Remaining third order aberration coefficients;\n";
  for (int i = 1; i <= 2; ++i) {
    for (int j = 3; j <= 10; ++j) {
      const std::string label = " STOTAL(" + std::to_string(i) + "," + std::to_string(j) + (j < 10 ? ") " : ")");
      t += "     " + label + "   " + three_columns(s.total.c[i][j], s.quad.c[i][j], s.octu.c[i][j]);
      if (j == 3) t += i == 1 ? "  X-Plane" : "  Y-Plane";
      // The unit note follows the last row on its own line's end, as the layout has no "/"
      // before it.
      if (i == 2 && j == 10) t += "                Units: m, radians\n";
      t += "\n";
    }
  }
  return t;
}

TEST(ReportsThird, TableAndRemainingCoefficientsOfSystemQuadrupolesAndOctupoles) {
  Rig r;
  load_walked(r, "quadruplet_octupoles.vrn");
  const ref::Sums s = ref::system_sums(r, -2);
  ASSERT_NE(s.octu.c[1][1], 0.0);
  ASSERT_NE(s.quad.c[2][2], 0.0);
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  const Transcript t = vorne_session::run(dir, "DATA quadruplet_octupoles\nTHIRD\nTHIRD A\nthird a\n");
  expect_lines(t.reply(2), kThirdHeading + third_table(s), "THIRD");
  expect_lines(t.reply(3), kThirdHeading + third_table(s) + remaining_table(s), "THIRD A");
  EXPECT_EQ(t.reply(4), t.reply(3));
}

TEST(ReportsThird, ImageSideFormScalesByTheMagnifications) {
  Rig r;
  load_walked(r, "quadruplet_octupoles.vrn");
  const ref::Sums s = ref::system_sums(r, -2);
  const ref::Pair m = ref::mag(r, r.s.izend);
  const auto p4 = [](double x) { return x * x * x * x; };
  const double mixed = m.x * m.y * m.x * m.y;
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  const Transcript t = vorne_session::run(dir, "DATA quadruplet_octupoles\nTHIRD/I\nTHIRD/I A\n");
  const std::string table =
      image_side_table(p4(m.x) * s.total.c[1][1], mixed * s.total.c[1][2], p4(m.y) * s.total.c[2][1],
                       mixed * s.total.c[2][2]);
  expect_lines(t.reply(2), kThirdHeading + table, "THIRD/I");
  expect_lines(t.reply(3), kThirdHeading + table + remaining_table(s), "THIRD/I A");
}

TEST(ReportsThird, UnitMagnificationsShowTheSystemCoefficientsUnchanged) {
  TempDir dir;
  const Transcript t = vorne_session::run(dir, "DATA octupoles\nTHIRD\nTHIRD/I\n", {{"octupoles.vrn", kOctupolesOnly}});
  const std::vector<std::string> plain = qxtest::split_lines(t.reply(2));
  const std::vector<std::string> image = qxtest::split_lines(t.reply(3));
  ASSERT_EQ(plain.size(), 11u) << t.out;
  ASSERT_EQ(image.size(), 11u) << t.out;
  // The System column of P, S, PB, SB against C30, C12, C03, C21.
  for (int k = 5; k <= 8; ++k) {
    EXPECT_EQ(image[static_cast<std::size_t>(k)].substr(15, 14), plain[static_cast<std::size_t>(k)].substr(15, 14));
    EXPECT_NE(plain[static_cast<std::size_t>(k)].substr(15, 14), " " + g13(0.0)) << "a zero proves nothing";
  }
  EXPECT_EQ(image[5].substr(0, 15), "         C30   ");
}

std::string ab3_table(const ref::Set& t, const ref::Set& q, const ref::Set& o) {
  const auto row = [&](const char* label, int i, int j, const char* plane) {
    return std::string("     ") + label + " " + f13(t.c[i][j]) + " " + f13(q.c[i][j]) + " " + f13(o.c[i][j]) + plane +
           "\n";
  };
  return " \n"
         " Third order coefficients defined for object plane divergences.\n"
         "\n"
         "      Coeff           System     Quadrupole     Octupole\n" +
         row("  X/TH3   ", 1, 1, " X-Plane") + row("  X/THPH2 ", 1, 2, "") + row("  Y/PH3   ", 2, 1, " Y-Plane") +
         row("  Y/TH2PH ", 2, 2, "") + "         Units: micron/milliradian3\n\n";
}

std::string ab3_remaining(const ref::Set& t, const ref::Set& q, const ref::Set& o) {
  static const char* kLabels[2][8] = {
      {"X/XTH2  ", "X/XPH2  ", "X/THYPH ", "X/X2TH  ", "X/THY2  ", "X/XYPH  ", "X/X3    ", "X/XY2   "},
      {"Y/YPH2  ", "Y/TH2Y  ", "Y/XTHPH ", "Y/Y2PH  ", "Y/X2PH  ", "Y/XTHY  ", "Y/Y3    ", "Y/X2Y   "}};
  std::string s = " Remaining third order coefficients (same units):\n";
  for (int i = 1; i <= 2; ++i)
    for (int j = 3; j <= 10; ++j)
      s += std::string("       ") + kLabels[i - 1][j - 3] + " " + f13(t.c[i][j]) + " " + f13(q.c[i][j]) + " " +
           f13(o.c[i][j]) + (j == 3 ? (i == 1 ? " X-Plane" : " Y-Plane") : "") + "\n";
  return s + " \n";
}

// Micrometres per milliradian powers referred to the object-side angles.
ref::Set object_divergences(const ref::Set& c, const ref::Pair& m) {
  ref::Set r;
  for (int j = 1; j <= 10; ++j) {
    const double f = j <= 2 ? 1e-3 : j <= 5 ? 1e-6 : j <= 8 ? 1e-9 : 1e-12;
    r.c[1][j] = m.x * c.c[1][j] * f;
    r.c[2][j] = m.y * c.c[2][j] * f;
  }
  return r;
}

TEST(ReportsAb3, CoefficientsInMicrometresPerMilliradianPowers) {
  Rig r;
  load_walked(r, "quadruplet_octupoles.vrn");
  const ref::Sums s = ref::system_sums(r, -2);
  const ref::Pair m = ref::mag(r, r.s.izend);
  const ref::Set t = object_divergences(s.total, m), q = object_divergences(s.quad, m),
                 o = object_divergences(s.octu, m);
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  const Transcript tr = vorne_session::run(dir, "DATA quadruplet_octupoles\nAB3\nAB3 A\n");
  expect_lines(tr.reply(2), ab3_table(t, q, o), "AB3");
  expect_lines(tr.reply(3), ab3_table(t, q, o) + ab3_remaining(t, q, o), "AB3 A");
}

// ---- AB2 -----------------------------------------------------------------------------------------------

struct Monomial {
  const char* name;
  int a, b;
};
constexpr Monomial kMonomials[10] = {{"X2", 1, 1}, {"XT", 1, 2}, {"XY", 1, 3}, {"XP", 1, 4}, {"T2", 2, 2},
                                     {"TY", 2, 3}, {"TP", 2, 4}, {"Y2", 3, 3}, {"YP", 3, 4}, {"P2", 4, 4}};

std::string ab2_all(const ref::Poly& p) {
  std::string s = " \n Second order aberration coefficients\n";
  const char* names = "XTYP";
  for (int first = 1; first <= 2; ++first) {
    for (const Monomial& mono : kMonomials) {
      const int i = first, k = first + 2;
      s += std::string(" ( ") + names[i - 1] + "/" + mono.name + ") " + g13(p.quad[i][mono.a][mono.b]) + "  ( " +
           names[k - 1] + "/" + mono.name + ") " + g13(p.quad[k][mono.a][mono.b]) + "\n";
    }
    s += "\n";
  }
  return s;
}

TEST(ReportsAb2, AllCoefficientsAndTheAngleTermsObjectAndImageSide) {
  Rig r;
  r.load("sextupole_triplet.vrn");
  r.walk(2);
  const ref::Poly p = ref::system_map(r);
  ASSERT_NE(p.quad[1][2][2], 0.0);
  ASSERT_NE(p.quad[3][2][4], 0.0);
  const ref::Pair m = ref::mag(r, r.s.izend);
  TempDir dir;
  copy_system(dir, "sextupole_triplet.vrn");
  const Transcript t = vorne_session::run(dir, "DATA sextupole_triplet\nAB2\nAB2 A\nAB2/I\nAB2/I A\n");

  const std::string object_side =
      " \n Second order angle dependent aberration coeffs\n"
      "     (X/TH2)  = " + g13(p.quad[1][2][2]) + "    (Y/TH2)  = " + g13(p.quad[3][2][2]) + "\n"
      "     (X/THPH) = " + g13(p.quad[1][2][4]) + "    (Y/THPH) = " + g13(p.quad[3][2][4]) + "\n"
      "     (X/PH2)  = " + g13(p.quad[1][4][4]) + "    (Y/PH2)  = " + g13(p.quad[3][4][4]) + "\n"
      " Units: m/rad^2\n\n";
  const double xx = m.x * m.x, xy = m.x * m.y, yy = m.y * m.y;
  const std::string image_side =
      " \n Second order angle dependent aberration coeffs relative\n to the image plane.\n"
      "     C20 = " + g13(xx * p.quad[1][2][2]) + "    D20 = " + g13(xx * p.quad[3][2][2]) + "\n"
      "     C11 = " + g13(xy * p.quad[1][2][4]) + "    D11 = " + g13(xy * p.quad[3][2][4]) + "\n"
      "     C02 = " + g13(yy * p.quad[1][4][4]) + "    D02 = " + g13(yy * p.quad[3][4][4]) + "\n"
      " Units: m/rad^2 or micron/mrad^2\n\n";
  expect_lines(t.reply(2), object_side, "AB2");
  expect_lines(t.reply(3), ab2_all(p) + object_side, "AB2 A");
  expect_lines(t.reply(4), image_side, "AB2/I");
  expect_lines(t.reply(5), ab2_all(p) + image_side, "AB2/I A");
}

TEST(ReportsAberrations, WithoutASystemNothingButTheNote) {
  TempDir dir;
  const Transcript t = vorne_session::run(dir, "THIRD\nAB3\nAB2\n");
  for (std::size_t k = 1; k <= 3; ++k) EXPECT_EQ(t.reply(k), " ?VORNE- No system loaded.\n") << k;
}

}  // namespace
