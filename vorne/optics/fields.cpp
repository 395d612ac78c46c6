// The end profile of the lens fields and the field at a point.
#include "optics/fields.h"

#include <cmath>

namespace vorne {

Profile end_profile(double z, double z1, double z2, double lambda) {
  const double t1 = std::tanh((z - z1) / lambda);
  const double t2 = std::tanh((z - z2) / lambda);
  const double s1 = 1.0 - t1 * t1;   // d tanh(u)/du
  const double s2 = 1.0 - t2 * t2;
  Profile p;
  p.f = 0.5 * (t1 - t2);
  p.f1 = 0.5 * (s1 - s2) / lambda;
  p.f2 = (t2 * s2 - t1 * s1) / (lambda * lambda);
  p.f3 = 0.5 * (s1 * (6.0 * t1 * t1 - 2.0) - s2 * (6.0 * t2 * t2 - 2.0)) / (lambda * lambda * lambda);
  return p;
}

std::array<double, 3> field_at(const FieldSource& s, double lambda, double x, double y, double z) {
  FieldSource unit = s;
  unit.kappa = 1.0;
  double bx = 0.0;
  double by = 0.0;
  double bz = 0.0;
  add_curvature(unit, end_profile(z, s.z1, s.z2, lambda), x, y, 1.0, bx, by, bz);
  return {bx, by, bz};
}

}  // namespace vorne
