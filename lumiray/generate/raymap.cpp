#include "generate/raymap.h"

#include <cmath>

namespace lumiray {

namespace {

constexpr double kNoFocus = 1.0e10;        // focal position of a matrix that does not focus
constexpr double kSmallFocusing = 1.0e-10;  // |C| below this counts as no focusing

// First- and second-order part of output row i (1..4); sq holds the ten products
// in(a) in(b), a <= b, in the order of the map's columns 5-14.
double first_and_second(const CoefficientSet& c, int i, const double (&v)[4], const double (&sq)[10]) {
  double out = 0.0;
  for (int j = 1; j <= 4; ++j) out += c.map(i, j) * v[j - 1];
  for (int k = 0; k < 10; ++k) out += c.map(i, 5 + k) * sq[k];
  return out;
}

// Third- and fifth-order sums of one position output. (p, q) are the position and angle of
// the ray's own plane and (r, s) those of the other plane: for x p = x, q = th, r = y, s = ph.
// The monomial order is the file's, the y row being the mirror image of the x row.
double higher_orders(const CoefficientSet& c, int row, double p, double q, double r, double s) {
  const double q2 = q * q, s2 = s * s;
  const double third[12] = {q2 * q, q * s2, q2 * p, s2 * p, q * s * r, q * p * p,
                            q * r * r, p * r * s, p * p * p, p * r * r, q2 * s, s2 * s};
  double sum = 0.0;
  for (int k = 1; k <= 12; ++k) sum += c.third(row, k) * third[k - 1];
  const double q4 = q2 * q2, s4 = s2 * s2;
  const double fifth[6] = {q4 * q, q4 * s, q2 * q * s2, q2 * s2 * s, q * s4, s4 * s};
  for (int k = 1; k <= 6; ++k) sum += c.fifth(row, k) * fifth[k - 1];
  return sum;
}

}  // namespace

Ray raymap(const CoefficientSet& c, const Ray& in) {
  if (!c.loaded) return in;
  const double v[4] = {in.x, in.th, in.y, in.ph};
  double sq[10];
  int k = 0;
  for (int a = 0; a < 4; ++a)
    for (int b = a; b < 4; ++b) sq[k++] = v[a] * v[b];
  Ray out;
  out.x = first_and_second(c, 1, v, sq) + higher_orders(c, 1, in.x, in.th, in.y, in.ph) +
          c.chromatic(1) * in.th * in.d + c.chromatic(3) * in.x * in.d;
  out.th = first_and_second(c, 2, v, sq);
  out.y = first_and_second(c, 3, v, sq) + higher_orders(c, 2, in.y, in.ph, in.x, in.th) +
          c.chromatic(2) * in.ph * in.d + c.chromatic(4) * in.y * in.d;
  out.ph = first_and_second(c, 4, v, sq);
  out.d = in.d;
  return out;
}

Ray raysol(const CoefficientSet& c, const Ray& in) {
  if (!c.loaded) return in;
  const double v[4] = {in.x, in.th, in.y, in.ph};
  double o[4] = {0.0, 0.0, 0.0, 0.0};
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) o[i - 1] += c.map(i, j) * v[j - 1];
  const double alpha = std::sqrt(in.th * in.th + in.ph * in.ph);
  // The aberrations of a round lens act along the ray's azimuth and keep their sign, so
  // that a negative spherical coefficient pulls rays in.
  const double psi = std::atan2(o[3], o[1]);   // continuous through th = 0 (0 for an axial ray)
  const double radial = alpha * alpha * alpha * c.third(1, 1) + c.chromatic(1) * alpha * in.d;
  Ray out;
  out.x = o[0] + radial * std::cos(psi);
  out.th = o[1];
  out.y = o[2] + radial * std::sin(psi);
  out.ph = o[3];
  out.d = in.d;
  return out;
}

std::optional<FocalPositions> focpos(const CoefficientSet& c) {
  if (!c.loaded) return std::nullopt;
  FocalPositions p;
  p.f = std::fabs(c.first(2, 1)) > kSmallFocusing ? -c.first(1, 1) / c.first(2, 1) : kNoFocus;
  p.g = std::fabs(c.first(4, 3)) > kSmallFocusing ? -c.first(3, 3) / c.first(4, 3) : kNoFocus;
  return p;
}

}  // namespace lumiray
