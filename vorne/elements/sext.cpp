// Sextupole: no first-order action (a drift), but its strength is kept for the second-order
// map, summed with a supra sextupole in the next row by the quadrupole's rules.
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

ElementStatus sext(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotSext{"(1H ,'?SEXT- Called for non-sextupole ELE=',I2,' ITYPE=',F5.1)"};
  if (s.type_at(iz).type != kSextupole) return wrong_kind(&settings.report(), kNotSext, iz, s.p(iz, 1));
  const MultipoleExcitation m = multipole_excitation(s, iz, particle, settings, 3, "SEXT");
  if (!m.valid) return drift(s, iz, particle, settings, a);
  const double strength = fortran_sign(std::sqrt(std::fabs(m.k)), m.k);
  const double psi = fortran_sign(std::sqrt(std::fabs(m.kl2)), m.kl2);
  if (psi == 0.0) return drift(s, iz, particle, settings, a);

  a = drift_matrix(s.p(iz, 2));
  if (s.rotation(iz) != 0.0) rotate(a, s.rotation(iz));
  store_cardinals(s, iz, a);
  s.p(iz, 8) = strength;
  return ElementStatus::ok;
}

}  // namespace vorne
