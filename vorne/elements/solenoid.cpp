// Solenoid: hard-edge axial field B. The beam turns about the axis by theta = k L while it is
// focused in both planes, k = |q| e B / (2 p).
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

ElementStatus solenoid(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  const double code = s.p(iz, 1);
  static const qx::Format kNotSolenoid{"(1H ,'?SOLENOID- Called for non-solenoid ELE = ',I2,' ITYPE=',F6.2)"};
  if (code_class(code) != kSolenoid) return wrong_kind(settings.level_stream(), kNotSolenoid, iz, code);
  const double field = s.p(iz, 3);
  const double len = s.p(iz, 2);
  if (field == 0.0) return drift(s, iz, particle, settings, a);
  if (!(particle.energy > 0.0)) {
    static const qx::Format kNoEnergy{"(1H ,'?SOLENOID- No particle energy at element ',I2)"};
    settings.error_stream().write(kNoEnergy, iz);
    return drift(s, iz, particle, settings, a);
  }
  const double k = std::fabs(particle.charge) * kElementaryCharge / particle_momentum(particle) * field * 0.5;
  // The rotation keeps its sign: reversing the field turns the beam the other way, so two
  // equal solenoids of opposite field leave no x-y coupling.
  const double theta = k * len;
  // No turn (no length or no charge) is the drift the matrix tends to.
  if (theta == 0.0) return drift(s, iz, particle, settings, a);

  const double c = std::cos(theta);
  const double sn = std::sin(theta);
  a(1, 1) = c * c;
  a(1, 2) = sn * c * len / theta;
  a(1, 3) = sn * c;
  a(1, 4) = sn * sn * len / theta;
  a(2, 1) = -sn * c * theta / len;
  a(2, 2) = c * c;
  a(2, 3) = -sn * sn * theta / len;
  a(2, 4) = sn * c;
  a(3, 1) = -sn * c;
  a(3, 2) = -sn * sn * len / theta;
  a(3, 3) = c * c;
  a(3, 4) = sn * c * len / theta;
  a(4, 1) = sn * sn * theta / len;
  a(4, 2) = -sn * c;
  a(4, 3) = -sn * c * theta / len;
  a(4, 4) = c * c;
  s.p(iz, 8) = k;
  if (a(4, 3) == 0.0 || a(2, 1) == 0.0) {
    static const qx::Format kError{
        "(1H ,'?SOLENOID- Error in element ',I2,/,6X,'A(2,1) = ',1P,G10.3,/,6X,'A(4,3) = ',1P,G10.3,/)"};
    if (qx::Output* out = settings.level_stream()) out->write(kError, iz, a(2, 1), a(4, 3));
    return ElementStatus::degenerate;
  }
  store_cardinals(s, iz, a);
  return ElementStatus::ok;
}

}  // namespace vorne
