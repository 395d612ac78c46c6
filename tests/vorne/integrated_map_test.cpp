// The integrated third-order map: its first order against the walk, its third order against
// rays traced through the same fields and fitted, its convergence, the hard-edge limit, the
// chromatic terms against the energy derivative of the walk, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "optics/fields.h"
#include "optics/integrated_map.h"
#include "optics/third_order.h"
#include "optics_rig.h"

namespace {

using optics_test::Rig;
using qx::Tps;

vorne::MapOutcome map_of(Rig& r, double fringe, double tolerance = 1e-10, bool extrapolate = false,
                         bool end_terms = true) {
  r.walk(3);
  vorne::MapSettings set;
  set.fringe = fringe;
  set.tolerance = tolerance;
  set.extrapolate = extrapolate;
  set.end_terms = end_terms;
  return vorne::integrated_map(r.s, r.v.walk.element_matrix, set);
}

Tps::Exponents unit(int v) {
  Tps::Exponents e{};
  e[static_cast<std::size_t>(v)] = 1;
  return e;
}

// Maps and rays of a system loaded from the test data (or the examples).
void load(Rig& r, const std::string& name) {
  if (name.rfind("examples/", 0) == 0)
    r.load_path(std::filesystem::path(QX_EXAMPLES_DIR) / name.substr(9));
  else
    r.load(name);
}

double first_order(const vorne::PhaseMap& m, int i, int j) { return vorne::map_coefficient(m, i, unit(j - 1)); }

TEST(IntegratedMap, FirstOrderPartIsTheWalksSystemMatrix) {
  // Every shipped system built of drifts and magnetic multipoles (the solenoid is passed by
  // its matrix at the hard-edge limit, so its system must match too).
  for (const char* name :
       {"examples/triplet.vrn", "doublet_focused.vrn", "triplet_focused.vrn", "triplet_detuned.vrn",
        "triplet_thin.vrn", "quadruplet_focused.vrn", "quadruplet_detuned.vrn", "quadruplet_octupoles.vrn",
        "octupole_triplet.vrn", "supra_octupole.vrn", "solenoid_doublet.vrn"}) {
    SCOPED_TRACE(name);
    Rig r;
    load(r, name);
    const vorne::MapOutcome m = map_of(r, 0.0);
    ASSERT_EQ(m.status, vorne::MapStatus::ok);
    if (std::string(name) != "solenoid_doublet.vrn") {
      EXPECT_TRUE(m.formula_rows.empty());
    }
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j)
        EXPECT_NEAR(first_order(m.map, i, j), r.v.walk.s(i, j), 1e-8 * std::max(1.0, std::fabs(r.v.walk.s(i, j))))
            << i << "," << j;
  }
}

// ---- Rays traced through the same fields, fitted ------------------------------------------------

// Least-squares fit of one output over all monomials of orders 1 to 5 in (x, theta, y, phi)
// (fifth order included so that it does not leak into the third), variables scaled by a.
struct Fit {
  std::vector<Tps::Exponents> monomials;
  std::vector<double> coefficients;
  double operator[](const Tps::Exponents& e) const {
    for (std::size_t k = 0; k < monomials.size(); ++k)
      if (monomials[k] == e) return coefficients[k];
    return 0.0;
  }
};

Fit fit(const std::vector<std::array<double, 4>>& in, const std::vector<double>& out, double a) {
  Fit f;
  for (int n = 1; n <= 5; ++n)
    for (int p = 0; p <= n; ++p)
      for (int q = 0; p + q <= n; ++q)
        for (int w = 0; p + q + w <= n; ++w) f.monomials.push_back({p, q, w, n - p - q - w, 0});
  const std::size_t m = f.monomials.size();
  std::vector<double> ata(m * m, 0.0);
  std::vector<double> atb(m, 0.0);
  std::vector<double> row(m);
  for (std::size_t r = 0; r < in.size(); ++r) {
    for (std::size_t k = 0; k < m; ++k) {
      double v = 1.0;
      for (std::size_t c = 0; c < 4; ++c)
        for (int e = 0; e < f.monomials[k][c]; ++e) v *= in[r][c] / a;
      row[k] = v;
    }
    for (std::size_t i = 0; i < m; ++i) {
      atb[i] += row[i] * out[r];
      for (std::size_t j = 0; j < m; ++j) ata[i * m + j] += row[i] * row[j];
    }
  }
  // Gaussian elimination with partial pivoting.
  for (std::size_t c = 0; c < m; ++c) {
    std::size_t piv = c;
    for (std::size_t i = c + 1; i < m; ++i)
      if (std::fabs(ata[i * m + c]) > std::fabs(ata[piv * m + c])) piv = i;
    for (std::size_t j = 0; j < m; ++j) std::swap(ata[c * m + j], ata[piv * m + j]);
    std::swap(atb[c], atb[piv]);
    for (std::size_t i = c + 1; i < m; ++i) {
      const double g = ata[i * m + c] / ata[c * m + c];
      for (std::size_t j = c; j < m; ++j) ata[i * m + j] -= g * ata[c * m + j];
      atb[i] -= g * atb[c];
    }
  }
  f.coefficients.assign(m, 0.0);
  for (std::size_t c = m; c-- > 0;) {
    double v = atb[c];
    for (std::size_t j = c + 1; j < m; ++j) v -= ata[c * m + j] * f.coefficients[j];
    f.coefficients[c] = v / ata[c * m + c];
  }
  for (std::size_t k = 0; k < m; ++k) {
    int n = 0;
    for (const int e : f.monomials[k]) n += e;
    f.coefficients[k] /= std::pow(a, n);
  }
  return f;
}

// Traces rays of 0.05 to 0.3 mrad (and 0.05 to 0.3 mm) through the system at fringe length
// lambda, fits x and y and compares every third-order coefficient with the map's.
void compare_with_rays(Rig& r, double lambda) {
  const vorne::MapOutcome m = map_of(r, lambda, 1e-12);
  ASSERT_EQ(m.status, vorne::MapStatus::ok);
  vorne::MapSettings set;
  set.fringe = lambda;
  set.tolerance = 1e-12;
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> mag(0.05e-3, 0.3e-3);
  std::bernoulli_distribution sign(0.5);
  std::vector<std::array<double, 4>> in;
  std::vector<double> xs;
  std::vector<double> ys;
  for (int n = 0; n < 320; ++n) {
    std::array<double, 4> q{};
    for (double& c : q) c = (sign(gen) ? 1.0 : -1.0) * mag(gen);
    vorne::Vec4 ray;
    for (int i = 1; i <= 4; ++i) ray(i) = q[static_cast<std::size_t>(i - 1)];
    const vorne::RayOutcome out = vorne::trace_ray(r.s, r.v.walk.element_matrix, set, ray, 0.0);
    ASSERT_EQ(out.status, vorne::MapStatus::ok);
    in.push_back(q);
    xs.push_back(out.ray(1));
    ys.push_back(out.ray(3));
  }
  for (const int output : {1, 3}) {
    const Fit f = fit(in, output == 1 ? xs : ys, 0.3e-3);
    double largest = 0.0;
    for (const Tps::Exponents& e : f.monomials)
      if (e[0] + e[1] + e[2] + e[3] == 3) largest = std::max(largest, std::fabs(vorne::map_coefficient(m.map, output, e)));
    ASSERT_GT(largest, 0.0);
    for (const Tps::Exponents& e : f.monomials) {
      if (e[0] + e[1] + e[2] + e[3] != 3) continue;
      const double c = vorne::map_coefficient(m.map, output, e);
      EXPECT_NEAR(c, f[e], 1e-4 * std::max(std::fabs(c), 1e-2 * largest))
          << "output " << output << " exponents " << e[0] << e[1] << e[2] << e[3];
    }
  }
}

TEST(IntegratedMap, ThirdOrderAgreesWithRaysThroughTheSameFields) {
  {
    SCOPED_TRACE("doublet");
    Rig r;
    r.load("doublet_focused.vrn");
    compare_with_rays(r, 0.002);
  }
  {
    // Every integrated kind, a turned quadrupole coupling the planes, a superimposed octupole.
    SCOPED_TRACE("mixed");
    Rig r;
    r.add(3.0, 0.5);
    r.add(11.0, 0.1, 0.8, 0.02);
    r.add(3.0, 0.2);
    r.add(6.0, 0.05, 0.002, 0.01);   // weak: a strong one puts orders beyond the fit in the rays
    r.add(3.0, 0.1);
    const int q = r.add(4.0, 0.08, 0.3, 0.008);
    r.add(28.0, 0.06, 0.02, 0.008);
    r.add(3.0, 0.05);
    r.add(8.0, 0.05, -0.04, 0.01);
    r.add(3.0, 0.3);
    r.end();
    r.s.rotation(q) = 0.2;
    compare_with_rays(r, 0.003);
  }
}

// ---- Convergence and the hard-edge limit ----------------------------------------------------------

double third(const vorne::MapOutcome& m, int plane, int j) {
  return vorne::third_order_coefficients(m.map, plane)[static_cast<std::size_t>(j - 1)];
}

TEST(IntegratedMap, ConvergesInStepSizeAndFringeLength) {
  Rig r;
  r.load("doublet_focused.vrn");
  // Step control: each tenfold tighter tolerance brings the result closer.
  const double loose = third(map_of(r, 0.002, 1e-6), 1, 2);
  const double mid = third(map_of(r, 0.002, 1e-9), 1, 2);
  const double tight = third(map_of(r, 0.002, 1e-12), 1, 2);
  EXPECT_LT(std::fabs(mid - tight), std::fabs(loose - tight));
  EXPECT_LT(std::fabs(mid - tight), 1e-6 * std::fabs(tight));
  // Fringe length: the approach to the hard-edge limit is linear in lambda (halving lambda
  // halves the distance).
  const double limit = third(map_of(r, 0.0), 1, 2);
  const double d1 = third(map_of(r, 0.002), 1, 2) - limit;
  const double d2 = third(map_of(r, 0.001), 1, 2) - limit;
  const double d3 = third(map_of(r, 0.0005), 1, 2) - limit;
  EXPECT_NEAR(d1 / d2, 2.0, 0.1);
  EXPECT_NEAR(d2 / d3, 2.0, 0.1);
}

TEST(IntegratedMap, HardEdgeEndTermsEqualTheExtrapolatedLimit) {
  // The closed-form end terms against integration at three short fringe lengths
  // extrapolated to zero: two independent ways to the same limit.
  Rig r;
  r.load("triplet_focused.vrn");
  const vorne::MapOutcome ends = map_of(r, 0.0);
  const vorne::MapOutcome extrapolated = map_of(r, 0.0, 1e-10, true);
  ASSERT_EQ(extrapolated.status, vorne::MapStatus::ok);
  for (int plane = 1; plane <= 2; ++plane)
    for (int j = 1; j <= 10; ++j)
      EXPECT_NEAR(third(ends, plane, j), third(extrapolated, plane, j), 1e-5 * std::fabs(third(ends, plane, j)))
          << plane << "," << j;
}

TEST(IntegratedMap, LongWeakQuadrupoleApproachesTheFormulaWithinItsEndTerms) {
  // One weak quadrupole, the system ending at its x image. The closed formula has no end
  // terms; the integrated (x|theta^3) must come within their size of it, and closer as the
  // lens gets longer at the same focusing.
  double last = INFINITY;
  for (const double len : {0.2, 0.5, 1.0}) {
    SCOPED_TRACE(len);
    Rig r;
    r.add(3.0, 5.0);
    const int q = r.add(4.0, len, 0.01 / len, 0.02);
    const int d = r.add(3.0, 1.0);
    r.end();
    r.walk(1);
    r.s.p(d, 2) = r.s.p(q, 6) - (5.0 + len);
    const double integrated = third(map_of(r, 0.0), 1, 1);
    const double body = third(map_of(r, 0.0, 1e-10, false, false), 1, 1);
    const double formula = vorne::mag(r.v, r.s.izend).mx * r.v.walk.total(1, 1);
    const double end_terms = std::fabs(integrated - body);
    EXPECT_LT(std::fabs(integrated - formula), end_terms);
    EXPECT_LT(std::fabs(integrated - formula), 0.05 * std::fabs(formula));
    EXPECT_LT(end_terms / std::fabs(integrated), last);
    last = end_terms / std::fabs(integrated);
  }
}

// ---- Chromatic terms ----------------------------------------------------------------------------

TEST(IntegratedMap, ChromaticTermsAreTheEnergyDerivativeOfTheWalk) {
  // The change per percent of energy of the walk's first-order matrix (the chromatic terms
  // as changes, not positions), by central differences of two walks at +-0.001 %.
  for (const char* name : {"doublet_focused.vrn", "examples/triplet.vrn"}) {
    SCOPED_TRACE(name);
    Rig r;
    load(r, name);
    const vorne::MapOutcome m = map_of(r, 0.0);
    ASSERT_EQ(m.status, vorne::MapStatus::ok);
    const double e0 = r.s.p(1, 12);
    const double de = 0.001;
    r.s.p(1, 12) = e0 * (1.0 + de / 100.0);
    r.walk(1);
    const vorne::Mat4 up = r.v.walk.s;
    r.s.p(1, 12) = e0 * (1.0 - de / 100.0);
    r.walk(1);
    const vorne::Mat4 down = r.v.walk.s;
    r.s.p(1, 12) = e0;
    for (const auto& [i, j] : {std::pair{1, 2}, std::pair{1, 1}, std::pair{3, 4}, std::pair{3, 3}}) {
      const double walk = (up(i, j) - down(i, j)) / (2.0 * de);
      Tps::Exponents e = unit(j - 1);
      e[Tps::delta] = 1;
      EXPECT_NEAR(vorne::map_coefficient(m.map, i, e), walk, 1e-3 * std::fabs(walk)) << i << "," << j;
    }
  }
}

TEST(IntegratedMap, SecondOrderOfASextupoleIsTheWalksSecondOrderMap) {
  // The hard-edge sextupole's second-order map against the walk's (COFOUT/N writes it).
  Rig r;
  r.add(3.0, 1.0);
  r.add(6.0, 0.1, 0.05, 0.01);
  r.add(3.0, 0.5);
  r.end();
  const vorne::MapOutcome m = map_of(r, 0.0);   // after a mode-3 walk, which forms S2
  ASSERT_EQ(m.status, vorne::MapStatus::ok);
  int column = 5;   // S2 columns 5-14: x^2, x theta, ... phi^2
  for (std::size_t a = 0; a < 4; ++a)
    for (std::size_t b = a; b < 4; ++b, ++column) {
      Tps::Exponents e{};
      ++e[a];
      ++e[b];
      for (int i = 1; i <= 4; ++i) {
        const double walk = r.v.walk.s2(i, column);
        EXPECT_NEAR(vorne::map_coefficient(m.map, i, e), walk, 1e-8 * std::max(1.0, std::fabs(walk)))
            << i << " " << a << b;
      }
    }
}

// The map in canonical variables (p = slope / sqrt(1 + slopes^2) where there is no field) is
// symplectic when it comes from the equations of motion: J^T S J = S for its Jacobian J, to
// second order in J, relative to the terms that cancel. A field that is not a field (one
// without its Maxwell terms) or a slip in the equations of motion breaks it.
double symplectic_error(const vorne::PhaseMap& m) {
  const Tps x = Tps::variable(Tps::x), p = Tps::variable(Tps::theta), y = Tps::variable(Tps::y),
            q = Tps::variable(Tps::phi);
  const Tps in_norm = qx::reciprocal(qx::sqrt(Tps(1.0) - p * p - q * q));
  const std::array<Tps, Tps::kVariables> in = {x, p * in_norm, y, q * in_norm, Tps()};
  std::array<Tps, 4> out;
  for (std::size_t i = 0; i < 4; ++i) out[i] = m[i].compose(in);
  const Tps out_norm = qx::reciprocal(qx::sqrt(Tps(1.0) + out[1] * out[1] + out[3] * out[3]));
  out[1] = out[1] * out_norm;
  out[3] = out[3] * out_norm;
  std::array<std::array<Tps, 4>, 4> j;
  for (std::size_t i = 0; i < 4; ++i)
    for (std::size_t k = 0; k < 4; ++k) j[i][k] = out[i].derivative(static_cast<int>(k));
  auto magnitude = [](Tps t) {
    for (int k = 0; k < Tps::kSize; ++k) t[k] = std::fabs(t[k]);
    return t;
  };
  // The largest violation relative to the size of the terms that must cancel.
  double worst = 0.0;
  for (std::size_t a = 0; a < 4; ++a)
    for (std::size_t b = 0; b < 4; ++b) {
      // (J^T S J)(a, b) with S pairing (x, p) and (y, q).
      Tps sum;
      Tps size;
      for (const std::size_t k : {0u, 2u}) {
        sum += j[k][a] * j[k + 1][b] - j[k + 1][a] * j[k][b];
        size += magnitude(j[k][a]) * magnitude(j[k + 1][b]) + magnitude(j[k + 1][a]) * magnitude(j[k][b]);
      }
      sum[0] -= (a % 2 == 0 && b == a + 1) ? 1.0 : (b % 2 == 0 && a == b + 1) ? -1.0 : 0.0;
      for (int k = 0; k < Tps::kSize; ++k)
        if (Tps::order(k) <= 2 && Tps::exponents(k)[Tps::delta] == 0 && size[k] > 0.0)
          worst = std::max(worst, std::fabs(sum[k]) / size[k]);
    }
  return worst;
}

TEST(IntegratedMap, SymplecticInCanonicalVariables) {
  for (const char* name : {"examples/triplet.vrn", "doublet_focused.vrn", "supra_octupole.vrn"}) {
    SCOPED_TRACE(name);
    Rig r;
    load(r, name);
    for (const double lambda : {0.0, 0.002}) EXPECT_LT(symplectic_error(map_of(r, lambda).map), 1e-8) << lambda;
  }
}

// ---- Fields and bad input -----------------------------------------------------------------------

TEST(IntegratedMapFields, MaxwellConsistentToThirdOrderAndTheProfileKeepsTheLength) {
  for (const vorne::FieldKind kind : {vorne::FieldKind::quadrupole, vorne::FieldKind::solenoid}) {
    vorne::FieldSource f;
    f.kind = kind;
    f.z1 = 0.0;
    f.z2 = 0.1;
    f.strength = 2.0;
    f.tilt = 0.3;
    const double lambda = 0.01;
    const double h = 1e-6;
    // In the fringe, at a point of radius r: div B and curl B fall as r^4 (the next order).
    for (const double r : {2e-3, 1e-3}) {
      const double x = 0.6 * r;
      const double y = 0.8 * r;
      const double z = 0.004;
      auto b = [&](double dx, double dy, double dz) { return vorne::field_at(f, lambda, x + dx, y + dy, z + dz); };
      const double div = (b(h, 0, 0)[0] - b(-h, 0, 0)[0] + b(0, h, 0)[1] - b(0, -h, 0)[1] + b(0, 0, h)[2] -
                          b(0, 0, -h)[2]) / (2 * h);
      const double curl_z = (b(h, 0, 0)[1] - b(-h, 0, 0)[1] - b(0, h, 0)[0] + b(0, -h, 0)[0]) / (2 * h);
      const double curl_x = (b(0, h, 0)[2] - b(0, -h, 0)[2] - b(0, 0, h)[1] + b(0, 0, -h)[1]) / (2 * h);
      const double scale = f.strength * std::pow(r / lambda, 4) / r;
      EXPECT_LT(std::fabs(div), 20.0 * scale) << static_cast<int>(kind);
      EXPECT_LT(std::fabs(curl_z), 20.0 * scale) << static_cast<int>(kind);
      EXPECT_LT(std::fabs(curl_x), 20.0 * scale) << static_cast<int>(kind);
    }
  }
  // The profile's integral is the hard-edge length whatever the fringe length.
  for (const double lambda : {0.001, 0.01, 0.05}) {
    double sum = 0.0;
    const double dz = 1e-5;
    for (double z = -2.0; z < 2.1; z += dz) sum += vorne::end_profile(z, 0.0, 0.1, lambda).f * dz;
    EXPECT_NEAR(sum, 0.1, 1e-6) << lambda;
  }
}

bool all_finite(const vorne::PhaseMap& m) {
  for (const Tps& t : m)
    for (int k = 0; k < Tps::kSize; ++k)
      if (!std::isfinite(t[k])) return false;
  return true;
}

TEST(IntegratedMap, BadInputGetsAStatusAndNeverNaN) {
  {
    SCOPED_TRACE("zero-length lens: no effect, listed");
    Rig r;
    r.add(3.0, 1.0);
    const int q = r.add(4.0, 0.0, 0.2, 0.005);
    r.add(3.0, 1.0);
    r.end();
    const vorne::MapOutcome m = map_of(r, 0.0);
    ASSERT_EQ(m.status, vorne::MapStatus::ok);
    EXPECT_EQ(m.zero_length_rows, std::vector<int>{q});
    EXPECT_NEAR(first_order(m.map, 1, 2), 2.0, 1e-12);
    EXPECT_TRUE(all_finite(m.map));
  }
  for (const double bore : {0.0, -0.01}) {
    SCOPED_TRACE("bore radius not positive");
    Rig r;
    r.add(3.0, 1.0);
    const int q = r.add(6.0, 0.1, 0.2, bore);
    r.end();
    const vorne::MapOutcome m = map_of(r, 0.0);
    EXPECT_EQ(m.status, vorne::MapStatus::zero_bore);
    EXPECT_EQ(m.row, q);
  }
  {
    SCOPED_TRACE("rows of other kinds: their matrix and formulas, listed");
    Rig r;
    r.load("electrostatic_quads.vrn");
    const vorne::MapOutcome m = map_of(r, 0.0);
    ASSERT_EQ(m.status, vorne::MapStatus::ok);
    EXPECT_EQ(m.formula_rows, (std::vector<int>{4, 6, 8}));
    EXPECT_TRUE(all_finite(m.map));
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) EXPECT_NEAR(first_order(m.map, i, j), r.v.walk.s(i, j), 1e-8) << i << "," << j;
  }
  for (const double lambda : {-0.001, 0.5, std::nan(""), HUGE_VAL}) {
    SCOPED_TRACE(lambda);
    Rig r;
    r.load("doublet_focused.vrn");
    EXPECT_EQ(map_of(r, lambda).status, vorne::MapStatus::bad_fringe);
    vorne::MapSettings set;
    set.fringe = lambda;
    EXPECT_EQ(vorne::trace_ray(r.s, r.v.walk.element_matrix, set, vorne::Vec4{}, 0.0).status,
              vorne::MapStatus::bad_fringe);
  }
  {
    SCOPED_TRACE("negative length");
    Rig r;
    r.add(3.0, 1.0);
    const int q = r.add(4.0, -0.1, 0.2, 0.005);
    r.end();
    const vorne::MapOutcome m = map_of(r, 0.0);
    EXPECT_EQ(m.status, vorne::MapStatus::bad_length);
    EXPECT_EQ(m.row, q);
  }
}

}  // namespace
