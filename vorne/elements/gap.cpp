// Gap (aperture) lens: the thin lens where the accelerating field changes from E1 (the column
// before) to E2 (the column after), focal length 4 T0 / (E2 - E1).
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

namespace {

// Field (MV/m) of row k when it is a plain accelerating column (code 10.00, no coupling)
// with a length, else 0.
double column_field(const LensSystem& s, const WalkSettings& settings, int iz, int k) {
  static const qx::Format kNoLength{"(1H ,'?GAP- Accelerating column ',I2,' of zero length beside element ',I2)"};
  if (k < kFirstElementRow || k > kRows || s.p(k, 1) != static_cast<double>(kAccelerator)) return 0.0;
  const double len = s.p(k, 2);
  if (len == 0.0) {
    if (s.p(k, 3) != 0.0) settings.error_stream().write(kNoLength, k, iz);
    return 0.0;
  }
  return s.p(k, 3) / len;
}

}  // namespace

ElementStatus gap(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotGap{"(1H ,'?GAP- Called for non-gap lens ELE = ',I2,' ITYPE=',F6.2)"};
  const double code = s.p(iz, 1);
  if (code_class(code) != kGapLens) return wrong_kind(settings.level_stream(), kNotGap, iz, code);
  s.p(iz, 2) = kGapLength;
  const double e1 = column_field(s, settings, iz, iz - 1);
  const double e2 = column_field(s, settings, iz, iz + 1);
  double t0 = particle.energy;   // the energy at the element
  if (t0 == 0.0) t0 = kMinGapEnergy;
  a = Mat4::identity();
  // The thin aperture lens: the radius column plays no part in its strength.
  a(2, 1) = a(4, 3) = (e1 - e2) / (4.0 * t0);
  store_cardinals(s, iz, a);
  return ElementStatus::ok;
}

}  // namespace vorne
