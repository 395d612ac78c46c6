// Third-order aberrations of the lenses and their sums over the system.
#include "optics/third_order.h"

#include <cmath>
#include <string>
#include <vector>

#include "elements/elements.h"
#include "qx/format.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr double kMinQuadStrength = static_cast<double>(1.0E-6f);  // below: no aberration
// Factors the thick-octupole integrals hold in single precision.
constexpr double kFifth = static_cast<double>(0.2f);
constexpr double kThird = static_cast<double>(1.0f / 3.0f);
// TADD applies the object-shift terms only for a subsystem of finite, non-zero power.
constexpr double kMinFocalSum = 1.0E-10;
constexpr double kMaxFocalSum = 1.0E10;

// x / d, or 0 when d is 0: an object exactly on a lens leaves the off-axis terms that would
// divide by its distance at zero rather than infinite.
double over(double x, double d) { return d == 0.0 ? 0.0 : x / d; }

double sq(double x) { return x * x; }

// Electric fraction of the quadrupole at row iz: -1 electric, 0 magnetic, or the fraction the
// quadrupole routine stored in the next row when a supra quadrupole is superimposed.
double electric_fraction(const LensSystem& s, int iz) {
  double frac = s.type_at(iz).polarity < 0 ? -1.0 : 0.0;
  for (int r = iz + 1; r <= kRows; ++r) {
    const TypeCode t = s.type_at(r);
    if (t.supra == 0) break;
    if (t.type == kQuadrupole) {
      frac = s.p(iz + 1, 8);
      break;
    }
  }
  return frac;
}

// The off-axis terms of one plane from its spherical terms: a ray from an object point x
// meets the lens as one of angle x/a from the axis point (a the object distance).
void off_axis_terms(ThirdOrderSet& c, int i, double a) {
  const double c1 = c(i, 1);
  const double c2 = c(i, 2);
  c(i, 3) = over(3.0 * c1, a);
  c(i, 4) = over(c2, a);
  c(i, 5) = over(2.0 * c2, a);
  c(i, 6) = over(3.0 * c1, a * a);
  c(i, 7) = over(c2, a * a);
  c(i, 8) = over(2.0 * c1, a * a);
  c(i, 9) = over(c1, a * a * a);
  c(i, 10) = over(c2, a * a * a);
}

// Adds a superimposed octupole's o1 (in-plane) and o2 (mixed) terms to plane i with a the own
// and b the other plane's object distance.
void add_octupole_terms(ThirdOrderSet& c, int i, double o1, double o2, double a, double b) {
  c(i, 1) += o1;
  c(i, 2) += o2;
  c(i, 3) += over(3.0 * o1, a);
  c(i, 4) += over(o2, a);
  c(i, 5) += over(2.0 * o2, b);
  c(i, 6) += over(3.0 * o1, a * a);
  c(i, 7) += over(o2, b * b);
  c(i, 8) += over(2.0 * o2, a * b);
  c(i, 9) += over(o1, a * a * a);
  c(i, 10) += over(o2, a * b * b);
}

ThirdOrderSet separate_octupole(const LensSystem& s, int iz) {
  ThirdOrderSet c;
  const TypeCode t = s.type_at(iz);
  double k3 = s.p(iz, 8);
  if (t.polarity == -1) k3 = -k3;
  const double len = s.p(iz, 2);
  const ObjectDistances d = object_distances(s, iz);
  // The integrals run from the octupole's entrance.
  const double u = d.ux - len / 2.0;
  const double w = d.uy - len / 2.0;
  thick_octupole(k3, len, u, w, 1, c);
  thick_octupole(k3, len, w, u, 2, c);
  return c;
}

ThirdOrderSet solenoid_term(const LensSystem& s, int iz) {
  ThirdOrderSet c;
  c(1, 1) = c(2, 1) = kPi * s.p(iz, 8) * s.p(iz, 2) / 6.0;
  return c;
}

}  // namespace

QuadFactors quad_factors(double s) { return {(3.0 * s * s - 2.0 * s + 2.0) / 6.0, -(s * s - 2.0 * s - 2.0) / 2.0}; }

OctupoleInQuad octupole_in_quadrupole(double k, double ux, double uy, double k3, double len) {
  OctupoleInQuad o;
  const double kappa = std::fabs(k);
  if (kappa == 0.0 || len == 0.0) return o;
  const double a = k >= 0.0 ? ux : uy;  // focusing plane
  const double b = k >= 0.0 ? uy : ux;  // defocusing plane
  const double p = sq(kappa * a);
  const double q = sq(kappa * b);
  const double z = 2.0 * kappa * len;
  const double w = 4.0 * kappa * len;
  const double f = k3 * len / (8.0 * std::pow(kappa, 4));
  const double al = a / len;
  const double bl = b / len;
  const double o1f =
      -f * (3.0 * sq(1.0 + p) + 4.0 * (1.0 + p) * al * (1.0 - std::cos(z)) - 4.0 * (1.0 - p * p) * std::sin(z) / z -
            (1.0 - p) * al * (1.0 - std::cos(w)) + (p * p - 6.0 * p + 1.0) * std::sin(w) / w);
  const double o1d =
      -f * (3.0 * sq(1.0 - q) + 4.0 * (1.0 - q) * bl * (1.0 - std::cosh(z)) - 4.0 * (1.0 - q * q) * std::sinh(z) / z -
            (1.0 + q) * bl * (1.0 - std::cosh(w)) + (q * q + 6.0 * q + 1.0) * std::sinh(w) / w);
  const double qp = (1.0 + q) * (1.0 - p);
  const double ab = 4.0 * kappa * kappa * a * b;
  const double o2 = 3.0 * f *
                    (-(qp + ab) * std::sinh(z) * std::cos(z) / z - (qp - ab) * std::cosh(z) * std::sin(z) / z -
                     ((1.0 + q) * al + (1.0 - p) * bl) * std::cosh(z) * std::cos(z) +
                     ((1.0 + q) * al - (1.0 - p) * bl) * std::sinh(z) * std::sin(z) +
                     2.0 * (1.0 + p) * ((1.0 + q) * std::sinh(z) / z + bl * std::cosh(z)) +
                     2.0 * (1.0 - q) * ((1.0 - p) * std::sin(z) / z + al * std::cos(z)) - 2.0 * (1.0 - q) * (1.0 + p) -
                     (1.0 - 3.0 * q) * al - (1.0 + 3.0 * p) * bl);
  o.o1x = k >= 0.0 ? o1f : o1d;
  o.o1y = k >= 0.0 ? o1d : o1f;
  o.o2x = o.o2y = o2;
  return o;
}

void thick_octupole(double k3, double len, double u, double w, int plane, ThirdOrderSet& c) {
  const double l = len;
  const int i = plane;
  c(i, 1) = -k3 * (std::pow(u + l, 5) - std::pow(u, 5)) / 5.0;
  c(i, 2) = 3.0 * k3 *
            (kFifth * std::pow(l, 5) + 0.5 * std::pow(l, 4) * (u + w) +
             std::pow(l, 3) * (u * u + 4.0 * u * w + w * w) * kThird + l * l * u * w * (u + w) + l * u * u * w * w);
  c(i, 3) = -0.75 * k3 * (std::pow(u + l, 4) - std::pow(u, 4));
  c(i, 4) = 3.0 * k3 *
            (0.25 * std::pow(l, 4) + std::pow(l, 3) * (u + 2.0 * w) * kThird + 0.5 * l * l * w * (2.0 * u + w) +
             l * u * w * w);
  c(i, 5) = 6.0 * k3 *
            (0.25 * std::pow(l, 4) + std::pow(l, 3) * (2.0 * u + w) * kThird + 0.5 * l * l * u * (u + 2.0 * w) +
             l * u * u * w);
  c(i, 6) = -k3 * (std::pow(u + l, 3) - std::pow(u, 3));
  c(i, 7) = -c(i, 6);
  c(i, 8) = 6.0 * k3 * (std::pow(l, 3) * kThird + 0.5 * l * l * (u + w) + l * u * w);
  c(i, 9) = -0.5 * k3 * l * (2.0 * u + l);
  // The octupole force goes as x^3 - 3 x y^2, so the x y^2 term is -3 times the x^3 term.
  c(i, 10) = -3.0 * c(i, 9);
}

double supra_octupole_strength(const LensSystem& s, int row) {
  const double radius = s.p(row, 4);
  if (!(radius > 0.0)) return 0.0;
  const double field = s.p(row, 3);
  const double w = std::fabs(s.p(1, 4) * s.p(1, 2));  // kinetic energy |T q|, MeV
  if (s.type_at(row).polarity > 0) {
    const double p = particle_momentum(w, s.p(1, 3));
    return p > 0.0 ? kElementaryCharge / p * field / std::pow(radius, 3) : 0.0;
  }
  return w > 0.0 ? -(2.0 * field) / (std::pow(radius, 4) * w * kElectronVoltsPerMeV) : 0.0;
}

ThirdOrderSet qspher(const LensSystem& s, int iz, int idiag, QuadTrace* trace) {
  ThirdOrderSet c;
  const double signed_k = s.p(iz, 8);
  const double k = std::fabs(signed_k);
  if (trace != nullptr) *trace = QuadTrace{k, 0.0, 0.0, 0};
  if (k < kMinQuadStrength) return c;

  const double len = s.p(iz, 2);
  const double field = s.p(iz, 3);
  double fx = s.p(iz, 11);
  double fy = s.p(iz, 12);
  const ObjectDistances d = object_distances(s, iz);
  const QuadFactors cf = quad_factors(electric_fraction(s, iz));

  if (idiag == kThinFocalLevel) {
    fx = fortran_sign(std::fabs(1.0 / (k * k * len)), field);
    fy = -s.p(iz, 11);
  }
  if (idiag == kThinSphericalLevel) {
    const double thin = std::pow(k * len, 3) * k;
    c(1, 1) = c(2, 1) = cf.c1 / thin;
    c(1, 2) = c(2, 2) = cf.c2 / thin;
  } else {
    const double mixed = -cf.c2 * sq(d.ux * d.uy) / (fx * fy * len);
    c(1, 1) = cf.c1 * std::pow(d.ux, 4) / (fx * fx * len);
    c(1, 2) = mixed;
    c(2, 1) = cf.c1 * std::pow(d.uy, 4) / (fy * fy * len);
    c(2, 2) = mixed;
  }
  off_axis_terms(c, 1, d.ux);
  off_axis_terms(c, 2, d.uy);

  int met = 0;
  for (int r = iz + 1; r <= kRows; ++r) {
    const TypeCode t = s.type_at(r);
    if (t.supra == 0) break;
    if (t.type != kOctupole) continue;
    const double k3 = supra_octupole_strength(s, r);
    ++met;
    if (trace != nullptr) {
      if (met == 1) trace->gamma1 = k3;
      if (met == 2) trace->gamma2 = k3;
      trace->octupoles = met;
    }
    if (k3 == 0.0) continue;
    // The closed forms integrate from the lens entrance, so they take the distances to it.
    const double olen = s.p(r, 2);
    const OctupoleInQuad o = octupole_in_quadrupole(signed_k, d.ux - olen / 2.0, d.uy - olen / 2.0, k3, olen);
    add_octupole_terms(c, 1, o.o1x, o.o2x, d.ux, d.uy);
    add_octupole_terms(c, 2, o.o1y, o.o2y, d.uy, d.ux);
  }
  return c;
}

ThirdOrderSet lens_third_order(const LensSystem& s, int iz, int idiag, QuadTrace* trace) {
  switch (s.type_at(iz).type) {
    case kQuadrupole:
      return qspher(s, iz, idiag, trace);
    case kOctupole:
      return separate_octupole(s, iz);
    case kSolenoid:
      return solenoid_term(s, iz);
    default:
      return ThirdOrderSet{};
  }
}

void element_third_order(const LensSystem& s, int iz, const WalkSettings& settings, ThirdOrderSet& c) {
  static const qx::Format kTrace{
      "(1H ,'%QSPHER- Third order aberration coeffs',/,"
      "1H ,'      T(1,1) = ',1P,G13.5,'  T(1,2) = ',1P,G13.5,'  Beta = ',1P,G13.5,/,"
      "1H ,'      T(2,1) = ',1P,G13.5,'  T(2,2) = ',1P,G13.5,' Gamma = ',1P,G13.5)"};
  static const qx::Format kSecondGamma{"(1H ,52X,' Gamma = ',1P,G13.5,/)"};
  QuadTrace trace;
  c = lens_third_order(s, iz, settings.level, &trace);
  if (settings.level == kQspherTraceLevel && s.type_at(iz).type == kQuadrupole) {
    settings.term().write(kTrace, c(1, 1), c(1, 2), trace.beta, c(2, 1), c(2, 2), trace.gamma1);
    if (trace.octupoles >= 2) settings.term().write(kSecondGamma, trace.gamma2);
  }
}

// ---- TADD ------------------------------------------------------------------------------------------

Referral lens_referral(const LensSystem& s, int iz, const WalkSettings& settings) {
  Referral r;
  r.preceding = preceding_lens(s, iz);
  if (r.preceding < kFirstElementRow) return r;
  // The preceding lens forms this lens's object, so its own magnification is part of the
  // referral (MAG and FOCAL include the row they are asked for).
  r.m = mag(s, r.preceding, settings);
  r.f = focal(s, r.preceding, settings);
  return r;
}

ThirdOrderSet referred_sum(const ThirdOrderSet& sys, const ThirdOrderSet& l, const Referral& r) {
  ThirdOrderSet n = sys;
  // The first lens's object is the system's: its set is added as it stands (added, not
  // assigned, so a walk that keeps its sums goes on from them).
  if (r.preceding < kFirstElementRow) {
    for (std::size_t k = 0; k < n.c.size(); ++k) n.c[k] += l.c[k];
    return n;
  }
  for (int i = 1; i <= 2; ++i) {
    const double a = i == 1 ? r.m.mx : r.m.my;
    const double b = i == 1 ? r.m.my : r.m.mx;
    const double fa = i == 1 ? r.f.fx : r.f.fy;
    const double fb = i == 1 ? r.f.fy : r.f.fx;
    n(i, 1) += l(i, 1) / std::pow(a, 4);
    n(i, 2) += l(i, 2) / (a * a * b * b);
    n(i, 3) += l(i, 3) / (a * a);
    n(i, 4) += l(i, 4) / (b * b);
    n(i, 5) += l(i, 5) / (a * a);
    n(i, 6) += l(i, 6);
    n(i, 7) += b * b * l(i, 7) / (a * a);
    n(i, 8) += l(i, 8);
    n(i, 9) += a * a * l(i, 9);
    n(i, 10) += b * b * l(i, 10);
    const double power = std::fabs(fa) + std::fabs(fb);
    if (power < kMinFocalSum || power > kMaxFocalSum) continue;
    // The lens's object is not the system's: the object shift turns angle terms into
    // position terms.
    n(i, 3) -= 3.0 * l(i, 1) / (a * a * a * fa);
    n(i, 4) -= l(i, 2) / (a * fa * b * b);
    n(i, 5) -= 2.0 * l(i, 2) / (a * a * b * fb);
    n(i, 6) += 3.0 * l(i, 1) / (a * a * fa * fa) - 2.0 * l(i, 3) / (a * fa);
    n(i, 7) += l(i, 2) / (a * a * fb * fb) - b * l(i, 5) / (fb * a * a);
    n(i, 8) += 2.0 * l(i, 2) / (a * b * fa * fb) - 2.0 * l(i, 4) / (b * fb) - l(i, 5) / (a * fa);
    n(i, 9) += -l(i, 1) / (a * fa * fa * fa) + l(i, 3) / (fa * fa) - a * l(i, 6) / fa;
    n(i, 10) += -l(i, 2) / (a * fa * fb * fb) + b * l(i, 5) / (a * fa * fb) + l(i, 4) / (fb * fb) -
                b * b * l(i, 7) / (a * fa) - b * l(i, 8) / fb;
  }
  return n;
}

void tadd(const LensSystem& s, int iz, const WalkSettings& settings, const ThirdOrderSet& lens, ThirdOrderSet& sys) {
  static const qx::Format kZeroMag{
      "(1H ,'?TADD - ZERO MAGNIFICATION AT IZ = ',I3,/,1H ,10X,'TMX = ',1P,G13.5,'   TMY = ',1P,G13.5)"};
  const Referral r = lens_referral(s, iz, settings);
  if (r.preceding >= kFirstElementRow && r.m.mx * r.m.my == 0.0) {
    // Nothing can be referred through a zero magnification; the sums keep their values.
    settings.term().write(kZeroMag, iz, r.m.mx, r.m.my);
    return;
  }
  sys = referred_sum(sys, lens, r);
}

// ---- Units and printing ---------------------------------------------------------------------------

ThirdOrderSet magnification_included(const ThirdOrderSet& c, const Magnification& m) {
  static constexpr double kUnit[11] = {0.0,    1.0E-3, 1.0E-3, 1.0E-6,  1.0E-6, 1.0E-6,
                                       1.0E-9, 1.0E-9, 1.0E-9, 1.0E-12, 1.0E-12};
  ThirdOrderSet r;
  for (int j = 1; j <= 10; ++j) {
    r(1, j) = m.mx * c(1, j) * kUnit[j];
    r(2, j) = m.my * c(2, j) * kUnit[j];
  }
  return r;
}

void print_third_order(qx::Output& out, const ThirdOrderSet& c, int kind) {
  static const qx::Format kXTitle{"(1H ,/,1H ,10X,A,3X,'X-Plane',/)"};
  static const qx::Format kYTitle{"(1H ,/,1H ,53X,'Y-Plane',/)"};
  static const qx::Format kValues{
      "(1H ,4X,5(A,'(',I1,',',I1,') = ',G13.5,2X),/,"
      "1H ,4X,4(A,'(',I1,',',I1,') = ',G13.5,2X),A,'(',I1,',',I2,')= ',G13.5)"};
  struct Kind {
    const char* title;  // 40 characters
    const char* letter;
  };
  static constexpr Kind kKinds[5] = {{"", ""},
                                     {"Third order lens coefficients", "T"},
                                     {"Third order system coefficients", "S"},
                                     {"Mag. included third order system coeffs", "R"},
                                     {"Mag. included third order lens coeffs", "W"}};
  constexpr std::size_t kTitleWidth = 40;
  const Kind& k = kKinds[kind >= 1 && kind <= 4 ? kind : 1];
  std::string title(k.title);
  title.resize(kTitleWidth, ' ');
  for (int i = 1; i <= 2; ++i) {
    if (i == 1)
      out.write(kXTitle, title);
    else
      out.write(kYTitle);
    std::vector<qx::FormatArg> args(40, qx::FormatArg(0));
    for (int j = 1; j <= 10; ++j) {
      const std::size_t at = static_cast<std::size_t>((j - 1) * 4);
      args[at] = qx::FormatArg(k.letter);
      args[at + 1] = qx::FormatArg(i);
      args[at + 2] = qx::FormatArg(j);
      args[at + 3] = qx::FormatArg(c(i, j));
    }
    out.put(kValues.render(args));
  }
}

}  // namespace vorne
