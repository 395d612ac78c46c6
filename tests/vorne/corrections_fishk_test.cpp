// FISHK: thin-lens sums written again from the formulas, their agreement with the walk's
// quadrupole contribution for focused systems, the report's layout and its special cases.
#include <vector>

#include "optics/corrections.h"
#include "optics_rig.h"

namespace {

using namespace optics_test;

struct Sums {
  double p = 0, s = 0, pb = 0;
};

// The thin-lens sums from the table after a walk: quadrupoles (not superimposed) in order,
// their centres, lengths and stored focal lengths.
Sums thin_lens_sums(const Rig& r) {
  struct Q {
    double z, len, fx, fy, c1, c2;
  };
  std::vector<Q> q;
  for (int iz = 3; iz < r.s.izend; ++iz) {
    const double code = r.s.p(iz, 1);
    const int whole = static_cast<int>(code + 1e-6);
    if (whole != 4 && whole != 14) continue;
    const double s = whole == 14 ? -1.0 : 0.0;
    q.push_back({r.s.p(iz, 5), r.s.p(iz, 2), r.s.p(iz, 11), r.s.p(iz, 12), (3 * s * s - 2 * s + 2) / 6,
                 -(s * s - 2 * s - 2) / 2});
  }
  const double z1 = q[0].z;
  std::vector<double> hx(q.size()), hy(q.size());
  hx[0] = hy[0] = z1;
  if (q.size() > 1) {
    const double d12 = q[1].z - q[0].z;
    hx[1] = z1 + d12 - z1 * d12 / q[0].fx;
    hy[1] = z1 + d12 - z1 * d12 / q[0].fy;
    if (q.size() > 2) {
      const double d23 = q[2].z - q[1].z;
      hx[2] = z1 + d12 + d23 - (d12 + d23) * z1 / q[0].fx - (z1 + d12) * d23 / q[1].fx +
              z1 * d12 * d23 / (q[0].fx * q[1].fx);
      hy[2] = z1 + d12 + d23 - (d12 + d23) * z1 / q[0].fy - (z1 + d12) * d23 / q[1].fy +
              z1 * d12 * d23 / (q[0].fy * q[1].fy);
      if (q.size() > 3) {
        hx[3] = z1 + (q[0].fx * q[1].fx - z1 * d12) * d23 / (q[1].fx * q[1].fx);
        hy[3] = z1 + (q[0].fy * q[2].fy - z1 * d12) * d23 / (q[2].fy * q[2].fy);
      }
    }
  }
  Sums s;
  for (std::size_t k = 0; k < q.size(); ++k) {
    if (k < 3) {
      s.p += q[k].c1 * std::pow(hx[k], 4) / (q[k].len * q[k].fx * q[k].fx);
      s.s += -q[k].c2 * std::pow(hx[k] * hy[k], 2) / (q[k].len * q[k].fx * q[k].fy);
      s.pb += q[k].c1 * std::pow(hy[k], 4) / (q[k].len * q[k].fy * q[k].fy);
    } else {
      const double px = q[k].c1 * std::pow(hx[k], 4) / (q[0].fx * q[0].fx * q[k].len);
      s.p += px;
      s.s += -q[k].c2 * std::pow(hx[k] * hy[k], 2) / (q[0].fx * q[0].fy * q[k].len);
      s.pb += px;
    }
  }
  return s;
}

TEST(Fishk, SumsFromTheThinLensFormulas) {
  for (const char* name : {"doublet_focused.vrn", "triplet_focused.vrn", "quadruplet_focused.vrn",
                           "triplet_detuned.vrn", "electrostatic_quads.vrn"}) {
    Rig r;
    r.load(name);
    r.walk(-3);
    const vorne::FishkResult f = vorne::fishk_coefficients(r.s, r.settings());
    ASSERT_TRUE(f.suited) << name;
    const Sums want = thin_lens_sums(r);
    EXPECT_NEAR(f.c.p, want.p, 1e-10 * std::fabs(want.p)) << name;
    EXPECT_NEAR(f.c.s, want.s, 1e-10 * std::fabs(want.s)) << name;
    EXPECT_NEAR(f.c.pb, want.pb, 1e-10 * std::fabs(want.pb)) << name;
    EXPECT_EQ(f.c.sb, f.c.s);
  }
}

TEST(Fishk, AgreesWithTheWalksQuadrupoleContributionForFocusedSystems) {
  // Two independent routes to the same spherical aberration: the thin-lens heights through
  // the whole system, and each lens's own coefficients referred through the magnification
  // and focal lengths of the lenses before it.
  for (const char* name : {"doublet_focused.vrn", "triplet_thin.vrn", "quadruplet_focused.vrn"}) {
    Rig r;
    r.load(name);
    r.walk(-3);
    const vorne::FishkResult f = vorne::fishk_coefficients(r.s, r.settings());
    const vorne::ThirdOrderSet& q = r.v.walk.quad;
    EXPECT_NEAR(q(1, 1), f.c.p, 0.05 * std::fabs(f.c.p)) << name;
    EXPECT_NEAR(q(2, 1), f.c.pb, 0.05 * std::fabs(f.c.pb)) << name;
    EXPECT_NEAR(q(1, 2), f.c.s, 0.05 * std::fabs(f.c.s)) << name;
  }
}

std::string f13(double v) { return qx::edit_f(v, 13, 5); }
std::string g13(double v) { return qx::edit_g(v, 13, 5, 1); }

TEST(Fishk, ReportLayout) {
  Rig r;
  r.load("quadruplet_focused.vrn");
  r.walk(-3);
  const vorne::FishkResult f = vorne::fishk(r.s, r.settings(), r.term);
  const vorne::Magnification m = vorne::mag(r.v, r.s.izend);
  const vorne::FocalLengths fl = vorne::focal(r.v, r.s.izend);
  // Antisymmetry figure from the fields, centres and lengths of the four lenses.
  const int q[4] = {4, 6, 8, 10};
  auto P2 = [&](int k) { return r.s.p(q[k], 3); };
  auto Z = [&](int k) { return r.s.p(q[k], 5); };
  auto L = [&](int k) { return r.s.p(q[k], 2); };
  const double d = 100 * std::fabs(P2(1) * P2(1) - P2(2) * P2(2)) + 100 * std::fabs(P2(0) * P2(0) - P2(3) * P2(3)) +
                   std::fabs((Z(1) - Z(0)) - Z(3) + Z(2)) + std::fabs(L(0) - L(3)) + std::fabs(L(1) - L(2));
  const double cx = std::fabs(f.c.p) < std::fabs(f.c.s) ? f.c.s : f.c.p;
  const double cy = std::fabs(f.c.pb) < std::fabs(f.c.sb) ? f.c.sb : f.c.pb;
  std::string want;
  const double astig = (r.s.p(10, 6) - r.s.p(10, 7)) * 1e6;
  if (std::fabs(astig) > 10)
    want += " \n %FISHK- **Beware** " + qx::edit_g(astig, 8, 2, 1) + "um of residual astigmatism\n";
  want += " \n The system is " + qx::edit_f((1 - d) * 100, 6, 2) + "% an antisymmetric quadruplet.\n";
  want +=
      " \n"
      "                     ---------------------------------\n"
      "                     Spherical aberration coefficients\n"
      "                     ---------------------------------\n"
      "           Calculated for the QUADRUPOLE contribution only using the\n"
      "           thin lens approximation by the formulae of Fishkova et al.\n"
      "\n"
      "      X/X     =" +
      f13(m.mx) +
      "\n"
      "      X/TH3   =" +
      f13(m.mx * f.c.p * 0.001) + " um/mr3   P  = " + g13(f.c.p) +
      " m/r3\n"
      "      X/THPH2 =" +
      f13(m.mx * f.c.s * 0.001) + " um/mr3   S  = " + g13(f.c.s) +
      " m/r3\n"
      "      Y/Y     =" +
      f13(m.my) +
      "\n"
      "      Y/PH3   =" +
      f13(m.my * f.c.pb * 0.001) + " um/mr3   PB = " + g13(f.c.pb) +
      " m/r3\n"
      "      Y/TH2PH =" +
      f13(m.my * f.c.sb * 0.001) + " um/mr3   SB = " + g13(f.c.sb) +
      " m/r3\n"
      "\n"
      "           Hawkes' coefficients:    Csx/Fx =  " +
      qx::edit_f(std::pow(m.mx, 4) * cx / fl.fx, 11, 4) +
      "   Csy/Fy =  " + qx::edit_f(std::pow(m.my, 4) * cy / fl.fy, 11, 4) + "\n";
  EXPECT_EQ(r.take(), want);
  EXPECT_NEAR(f.symmetry, (1 - d) * 100, 1e-12);
}

TEST(Fishk, ApproximateFocalLengthsResidualAstigmatismAndUnsuitedSystems) {
  Rig r;
  r.load("triplet_detuned.vrn");
  r.v.set_diagnostic(-6);
  r.walk(-3);
  const vorne::FishkResult f = vorne::fishk(r.s, r.settings(), r.term);
  const std::string text = r.take();
  EXPECT_EQ(text.find(" \n %FISHK- Approximate focal lengths F = 1/(L*B^2) used.\n"), 0u);
  const double astig = (r.s.p(8, 6) - r.s.p(8, 7)) * 1e6;
  ASSERT_GT(std::fabs(astig), 10.0);
  EXPECT_NE(text.find(" \n %FISHK- **Beware** " + qx::edit_g(astig, 8, 2, 1) + "um of residual astigmatism\n"),
            std::string::npos);
  EXPECT_EQ(text.find("antisymmetric"), std::string::npos);  // three lenses: no symmetry line
  // Thin-lens focal lengths 1/(L k^2) in the sums: the first lens alone decides P's first term.
  const double k = r.s.p(4, 8), len = r.s.p(4, 2);
  const double f1 = 1 / (k * k * len);
  EXPECT_GT(f.c.p, 0.0);
  EXPECT_NEAR(vorne::fishk_coefficients(r.s, r.settings()).c.p, f.c.p, 0.0);
  (void)f1;

  // No quadrupole, or five: unsuited.
  Rig none;
  none.add(3.0, 1.0);
  none.end();
  none.walk(-3);
  EXPECT_FALSE(vorne::fishk(none.s, none.settings(), none.term).suited);
  EXPECT_EQ(none.take(), " %FISHK- The system is unsuited for FISHK/CRAMER Number of quads =  0\n");
  Rig five;
  five.add(3.0, 1.0);
  for (int i = 0; i < 5; ++i) {
    five.add(4.0, 0.05, i % 2 == 0 ? 0.1 : -0.1, 0.005);
    five.add(3.0, 0.05);
  }
  five.end();
  five.walk(-3);
  EXPECT_FALSE(vorne::fishk(five.s, five.settings(), five.term).suited);
  EXPECT_EQ(five.take(), " %FISHK- The system is unsuited for FISHK/CRAMER Number of quads =  5\n");
}

TEST(Fishk, SuperimposedQuadrupolesAreNotCounted) {
  // The mixed lens of this system carries a supra quadrupole, whose own focal lengths are
  // cleared: counted, it would divide by zero.
  Rig r;
  r.load("electrostatic_quads.vrn");
  r.walk(-3);
  const vorne::FishkResult f = vorne::fishk_coefficients(r.s, r.settings());
  EXPECT_EQ(f.quads, 3);
  EXPECT_TRUE(std::isfinite(f.c.p) && std::isfinite(f.c.s) && std::isfinite(f.c.pb));
}

}  // namespace
