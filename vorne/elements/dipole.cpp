// Dipole: at first order a drift in both planes. Its bend moves the beam centroid (dipadd).
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"

namespace vorne {

namespace {

int dipole_kind(double code) {
  const int kind = code_class(code);
  return kind == kDipole || kind == kElectrostaticDipole ? kind : -1;
}

}  // namespace

ElementStatus dip(LensSystem& s, int iz, const Particle&, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotDipole{"(1H ,'?DIP- Called for non-DIPOLE ELE=',I2,' ITYPE=',F5.1)"};
  if (dipole_kind(s.p(iz, 1)) < 0) return wrong_kind(&settings.term(), kNotDipole, iz, s.p(iz, 1));
  a = drift_matrix(s.p(iz, 2));
  s.p(iz, 8) = 0.0;
  store_cardinals(s, iz, a);
  return ElementStatus::ok;
}

ElementStatus dipadd(const LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Vec4& beam) {
  static const qx::Format kNotDipole{"(1H ,'?dipadd- Called for non-DIPOLE ELE=',I2,' ITYPE=',F5.1)"};
  static const qx::Format kNoRadius{"(1H ,'?dipadd- No bending radius in element ',I2)"};
  const int kind = dipole_kind(s.p(iz, 1));
  if (kind < 0) return wrong_kind(&settings.term(), kNotDipole, iz, s.p(iz, 1));
  const double len = s.p(iz, 2);
  const double t0 = particle.energy;   // the energy at the element, MeV
  const double mass = particle.mass * kAtomicMassUnit;   // the particle's rest mass (row 1), kg
  const double charge = std::fabs(particle.charge);
  // Plane 1 bends with P2 (x, theta), plane 2 with P3 (y, phi).
  for (int plane = 1; plane <= 2; ++plane) {
    const double field = s.p(iz, plane + 2);
    if (std::fabs(field) <= kDipaddMinField) continue;
    const double rho = kind == kDipole
                           ? std::sqrt(2.0 * mass * t0 * kElectronVoltsPerMeV * kDipaddCharge) /
                                 (charge * kDipaddCharge * field)
                           : 2.0 * t0 * kElectronVoltsPerMeV / field;
    if (rho == 0.0 || std::isnan(rho)) {
      settings.error_stream().write(kNoRadius, iz);
      continue;
    }
    // An infinite radius (no charge) bends nothing: L/rho is 0.
    const int x = 2 * plane - 1;
    beam(x) -= len * len / (2.0 * rho);
    beam(x + 1) -= len / rho;
  }
  return ElementStatus::ok;
}

}  // namespace vorne
