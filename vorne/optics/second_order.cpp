// Element second-order maps.
#include "optics/second_order.h"

#include <cmath>
#include <utility>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

namespace {

constexpr double kMinRadius = 1.0E-10;
// Fractions the sextupole table holds in single precision.
constexpr double kThird = static_cast<double>(1.0f / 3.0f);
constexpr double kTwelfth = static_cast<double>(1.0f / 12.0f);
constexpr double kSixth = static_cast<double>(1.0f / 6.0f);
constexpr double kTwoThirds = static_cast<double>(2.0f / 3.0f);

// The monomial pairs (a, b), a <= b, of the quadratic rows and columns 5-14.
constexpr int kPairA[15] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 3, 3, 4};
constexpr int kPairB[15] = {0, 0, 0, 0, 0, 1, 2, 3, 4, 2, 3, 4, 3, 4, 4};

// Row of the supra sextupole superimposed on the quadrupole at iz; 0 when there is none.
int supra_sextupole(const LensSystem& s, int iz) {
  for (int r = iz + 1; r <= kRows; ++r) {
    const TypeCode t = s.type_at(r);
    if (t.supra != 1) break;
    if (t.type == kSextupole) return r;
  }
  return 0;
}

bool radius_missing(const LensSystem& s, int row, const WalkSettings& settings) {
  static const qx::Format kZeroRadius{"(1H ,'Zero radius second order element at ',I3,/)"};
  if (s.p(row, 4) >= kMinRadius) return false;
  settings.term().write(kZeroRadius, row);
  return true;
}

}  // namespace

int monomial(int a, int b) {
  if (a > b) std::swap(a, b);
  for (int m = 5; m <= 14; ++m)
    if (kPairA[m] == a && kPairB[m] == b) return m;
  return 0;
}

Mat14 linear_extension(const Mat4& a) {
  Mat14 t;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) t(i, j) = a(i, j);
  for (int row = 5; row <= 14; ++row) {
    const int p = kPairA[row];
    const int q = kPairB[row];
    for (int col = 5; col <= 14; ++col) {
      const int r = kPairA[col];
      const int s = kPairB[col];
      // A square x_r^2 arises once from the product of the two rows, a cross term x_r x_s
      // from both orders of the factors.
      t(row, col) = a(p, r) * a(q, s) + (r == s ? 0.0 : a(p, s) * a(q, r));
    }
  }
  return t;
}

void set_sextupole_entries(double k, double len, Mat14& t) {
  const double l = len;
  const double l2 = l * l;
  const double l3 = l2 * l;
  const double l4 = l3 * l;
  // x and theta from x^2, x theta, theta^2 and y^2, y phi, phi^2.
  t(1, 5) = -k * l2 / 2.0;
  t(1, 6) = -k * l3 * kThird;
  t(1, 9) = -k * l4 * kTwelfth;
  t(1, 12) = k * l2 / 2.0;
  t(1, 13) = k * l3 * kThird;
  t(1, 14) = k * l4 * kTwelfth;
  t(2, 5) = -k * l;
  t(2, 6) = -k * l2;
  t(2, 9) = -k * l3 * kThird;
  t(2, 12) = k * l;
  t(2, 13) = k * l2;
  t(2, 14) = k * l3 * kThird;
  // y and phi from x y, x phi, theta y, theta phi.
  t(3, 7) = k * l2;
  t(3, 8) = k * l3 * kThird;
  t(3, 10) = k * l3 * kThird;
  t(3, 11) = k * l4 * kSixth;
  t(4, 7) = 2.0 * k * l;
  t(4, 8) = k * l2;
  t(4, 10) = k * l2;
  t(4, 11) = k * l3 * kTwoThirds;
}

double sextupole_strength(const LensSystem& s, int row) {
  const double field = s.p(row, 3);
  const double radius = s.p(row, 4);
  const double w = std::fabs(s.p(1, 4) * s.p(1, 2));  // MeV
  if (field == 0.0 || !(radius > 0.0) || !(w > 0.0)) return 0.0;
  double k2 = 0.0;
  if (s.type_at(row).polarity > 0) {
    k2 = kElementaryCharge / particle_momentum(w, s.p(1, 3)) * std::fabs(field) / (radius * radius);
  } else {
    k2 = std::fabs(field / (radius * radius * radius * w * kElectronVoltsPerMeV));
  }
  return fortran_sign(k2, field);
}

void element_second_order(const LensSystem& s, int iz, const WalkSettings& settings, const Mat4& a, Mat14& t2) {
  t2 = linear_extension(a);
  if (!(s.p(iz, 1) < kFirstSupraCode)) return;
  const TypeCode t = s.type_at(iz);
  if (t.polarity == 0) return;
  // Only quadrupoles and sextupoles keep a bore radius in P3; other lenses keep other
  // quantities there.
  if (t.type != kQuadrupole && t.type != kSextupole) return;
  if (radius_missing(s, iz, settings)) return;
  if (t.type == kSextupole) {
    set_sextupole_entries(sextupole_strength(s, iz), s.p(iz, 2), t2);
    return;
  }
  const int supra = supra_sextupole(s, iz);
  if (supra == 0 || radius_missing(s, supra, settings)) return;
  set_sextupole_entries(sextupole_strength(s, supra), s.p(supra, 2), t2);
}

}  // namespace vorne
