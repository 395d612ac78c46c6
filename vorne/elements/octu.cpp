// Octupole: no first-order action (a drift); its strength K3 feeds the third-order sums. The
// image of the lens before it passes through unchanged.
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

ElementStatus octu(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotOctu{"(1H ,'?OCTU- Called for non-octupole IZ = ',I2)"};
  static const qx::Format kBadRadius{"(1H ,'?OCTU- Zero or negative radius in element ',I2)"};
  static const qx::Format kNoEnergy{"(1H ,'?OCTU- No particle energy at element ',I2)"};
  const double code = s.p(iz, 1);
  const int kind = code_class(code);
  if (kind != kOctupole && kind != kElectricVariant + kOctupole) {
    if (qx::Output* out = settings.level_stream()) out->write(kNotOctu, iz);
    return ElementStatus::wrong_kind;
  }
  a = drift_matrix(s.p(iz, 2));

  const double field = s.p(iz, 3);
  const double radius = s.p(iz, 4);
  const double t = particle.energy;
  double k3 = 0.0;
  if (field != 0.0 && !(radius > 0.0)) {
    settings.error_stream().write(kBadRadius, iz);
  } else if (field != 0.0 && !(t > 0.0)) {
    settings.error_stream().write(kNoEnergy, iz);
  } else if (field != 0.0 && kind == kOctupole) {
    k3 = std::fabs(particle.charge) * kElementaryCharge / particle_momentum(particle) * field / std::pow(radius, 3);
  } else if (field != 0.0) {
    k3 = -(2.0 * field) / (std::pow(radius, 4) * t * kElectronVoltsPerMeV);
  }

  const ObjectDistances d = object_distances(s, iz);
  const double z = s.p(iz, 5);
  s.p(iz, 6) = z - d.ux;
  s.p(iz, 7) = z - d.uy;
  s.p(iz, 8) = k3;
  s.p(iz, 9) = 1.0;
  s.p(iz, 10) = 1.0;
  s.p(iz, 11) = kNoFocus;
  s.p(iz, 12) = kNoFocus;
  return ElementStatus::ok;
}

}  // namespace vorne
