// Uniform accelerating column: non-relativistic paraxial motion in a constant longitudinal
// field, x'' = -(T'/2T) x'. The slope shrinks by r = sqrt(T_exit / T_entrance).
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

ElementStatus accel(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotAccel{"(1H ,'?ACCEL- Called for non-accelerator ELE = ',I2,' ITYPE=',F6.2)"};
  static const qx::Format kStopped{"(1H ,'?ACCEL- No particle energy in element ',I2)"};
  const double code = s.p(iz, 1);
  if (code_class(code) != kAccelerator) return wrong_kind(settings.level_stream(), kNotAccel, iz, code);
  const double gain = std::fabs(particle.charge) * s.p(iz, 3);   // MeV
  if (gain == 0.0) return drift(s, iz, particle, settings, a);
  const double t0 = particle.energy;   // the energy at the element
  if (!(t0 > 0.0) || !(t0 + gain > 0.0)) {
    // A particle without energy at either end of the column has no paraxial motion.
    settings.error_stream().write(kStopped, iz);
    return drift(s, iz, particle, settings, a);
  }
  const double len = s.p(iz, 2);
  const double r = std::sqrt((t0 + gain) / t0);
  a = Mat4{};
  a(1, 1) = a(3, 3) = 1.0;
  a(1, 2) = a(3, 4) = 2.0 * len / (r + 1.0);
  a(2, 2) = a(4, 4) = 1.0 / r;
  store_cardinals(s, iz, a);
  return ElementStatus::ok;
}

}  // namespace vorne
