// Quadrupole: hard-edge field x'' = -K x, y'' = +K y over its length, with a superimposed
// (supra) quadrupole in the next row added to its strength. The strength rules are shared with
// the sextupole.
#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

// Signed squared strengths of one lens row: KB from a magnetic field, KE from an electric one.
struct SquaredStrengths {
  double kb = 0.0;
  double ke = 0.0;
};

// Strengths of row `row` with the field in P2 and the bore radius in P3. radius_power is the
// power of the radius under a magnetic field (1 quadrupole, 2 sextupole); the electric rule
// has one power more. charge is the charge factor of the magnetic rule (|q|, or 1 for the
// supra lens, whose rule leaves the charge out). False (after a message) when the radius or
// the particle energy cannot give a strength.
bool lens_strengths(const LensSystem& s, int row, const Particle& particle, const WalkSettings& settings, double charge,
                    int radius_power, std::string_view name,
                    SquaredStrengths& k) {
  static const qx::Format kBadRadius{"(1H ,'?',A,'- Zero or negative radius in element ',I2)"};
  static const qx::Format kNoEnergy{"(1H ,'?',A,'- No particle energy at element ',I2)"};
  const double field = s.p(row, 3);
  const double radius = s.p(row, 4);
  k = SquaredStrengths{};
  if (field == 0.0) return true;   // no field, no strength: never an error
  if (!(radius > 0.0)) {
    settings.error_stream().write(kBadRadius, name, row);
    return false;
  }
  const double t = particle.energy;
  if (!(t > 0.0)) {
    settings.error_stream().write(kNoEnergy, name, row);
    return false;
  }
  if (s.type_at(row).polarity > 0) {
    const double rigidity = charge * kElementaryCharge / particle_momentum(particle);
    const double kb = std::sqrt(rigidity * std::fabs(field) / std::pow(radius, radius_power));
    k.kb = fortran_sign(kb * kb, field);
  } else {
    const double ke = std::sqrt(std::fabs(field / (std::pow(radius, radius_power + 1) * t * kElectronVoltsPerMeV)));
    k.ke = fortran_sign(ke * ke, field);
  }
  return true;
}

}  // namespace

MultipoleExcitation multipole_excitation(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings,
                                         int order, std::string_view name) {
  MultipoleExcitation m;
  const double charge = std::fabs(particle.charge);
  const int kind = order == 2 ? kQuadrupole : kSextupole;
  SquaredStrengths own;
  if (!lens_strengths(s, iz, particle, settings, charge, order - 1, name, own)) {
    m.valid = false;
    return m;
  }
  const double len = s.p(iz, 2);
  m.k = own.kb - own.ke;
  m.kl2 = len * len * own.kb - len * len * own.ke;

  const int next = iz + 1;
  if (next > kRows || !(s.p(next, 1) > kFirstSupraCode)) return m;
  const TypeCode on_top = s.type_at(next);
  if (on_top.supra != 1) return m;
  for (int col = 5; col <= kColumns; ++col) s.p(next, col) = 0.0;
  if (on_top.type != kind) return m;
  // The supra lens takes the quadrupole rules without the charge, for either kind.
  SquaredStrengths supra;
  if (!lens_strengths(s, next, particle, settings, 1.0, 1, name, supra)) {
    m.valid = false;
    return m;
  }
  const double supra_len = s.p(next, 2);
  m.k = (supra.kb - supra.ke) + (own.kb - own.ke);
  m.kl2 = supra_len * supra_len * (supra.kb - supra.ke) + len * len * (own.kb - own.ke);
  if (m.k != 0.0) s.p(next, 8) = (own.ke + supra.ke) / m.k;
  return m;
}

ElementStatus quad(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotQuad{"(1H ,'?QUAD- Called for non-quad ELE=',I2,' ITYPE=',F5.1)"};
  static const qx::Format kError{
      "(1H ,'?QUAD- Error in element ',I2,/,6X,'A(2,1) = ',F10.5,/,6X,'A(4,3) = ',F10.5,/)"};
  static const qx::Format kZeroLength{"(1H ,'?QUAD- Zero length in element ',I2)"};
  const TypeCode t = s.type_at(iz);
  if (t.type != kQuadrupole) return wrong_kind(&settings.report(), kNotQuad, iz, s.p(iz, 1));
  const MultipoleExcitation m = multipole_excitation(s, iz, particle, settings, 2, "QUAD");
  if (!m.valid) return drift(s, iz, particle, settings, a);

  const double len = s.p(iz, 2);
  const double strength = fortran_sign(std::sqrt(std::fabs(m.k)), m.k);
  const double psi = fortran_sign(std::sqrt(std::fabs(m.kl2)), m.kl2);
  if (psi == 0.0) return drift(s, iz, particle, settings, a);
  if (len == 0.0) {
    // Only a supra lens on a lens of no length gets here: its strength has nowhere to act.
    settings.error_stream().write(kZeroLength, iz);
    return drift(s, iz, particle, settings, a);
  }

  const double ph = std::fabs(psi);
  a = Mat4{};
  a(1, 1) = std::cos(ph);
  a(1, 2) = len * std::sin(ph) / ph;
  a(2, 1) = -ph * std::sin(ph) / len;
  a(2, 2) = std::cos(ph);
  a(3, 3) = std::cosh(ph);
  a(3, 4) = len * std::sinh(ph) / ph;
  a(4, 3) = ph * std::sinh(ph) / len;
  a(4, 4) = std::cosh(ph);
  if (psi < 0.0) swap_planes(a);
  if (std::fabs(s.rotation(iz)) > kTiltThreshold) rotate(a, s.rotation(iz));
  if (a(4, 3) == 0.0 || a(2, 1) == 0.0) settings.term().write(kError, iz, a(2, 1), a(4, 3));

  store_cardinals(s, iz, a);
  if (settings.level == kThinLensFitLevel) {
    // The fitting mode "apr> " works with the thin-lens picture of each quadrupole.
    const ObjectDistances d = object_distances(s, iz);
    const double fx = fortran_sign(std::fabs(len / (psi * psi)), psi);
    const PlaneCardinals x = thin_lens_cardinals(fx, d.ux);
    const PlaneCardinals y = thin_lens_cardinals(-fx, d.uy);
    const double z = s.p(iz, 5);
    s.p(iz, 6) = z + x.image;
    s.p(iz, 7) = z + y.image;
    s.p(iz, 9) = x.mag;
    s.p(iz, 10) = y.mag;
    s.p(iz, 11) = x.focal;
    s.p(iz, 12) = y.focal;
  }
  s.p(iz, 8) = strength;
  return ElementStatus::ok;
}

}  // namespace vorne
