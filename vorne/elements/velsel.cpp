// Velocity selector (crossed fields): the Wien condition E = v B, focusing in x with
// k = n e / (m v) for the whole-number field n, a drift in y.
#include <cmath>
#include <optional>

#include "elements/elements.h"
#include "qx/format.h"
#include "qx/numeric.h"

namespace vorne {

namespace {

constexpr std::int64_t kFieldLimit = 1000000;   // tesla; anything beyond is a typing error

}  // namespace

ElementStatus vs(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a) {
  static const qx::Format kNotSelector{"(1H ,'?VS- Called for non-VS ELE=',I2,' ITYPE=',F5.1)"};
  static const qx::Format kBadField{"(1H ,'?VS- B-Field out of range in element ',I2)"};
  static const qx::Format kNoSpeed{"(1H ,'?VS- No particle speed at element ',I2)"};
  const double code = s.p(iz, 1);
  if (code_class(code) != kVelocitySelector) return wrong_kind(&settings.term(), kNotSelector, iz, code);
  const std::optional<std::int64_t> whole = qx::int_part(s.p(iz, 3), -kFieldLimit, kFieldLimit);
  if (!whole) {
    settings.error_stream().write(kBadField, iz);
    return drift(s, iz, particle, settings, a);
  }
  const double n = static_cast<double>(*whole);
  if (n == 0.0) return drift(s, iz, particle, settings, a);
  const double mass = particle.mass * kAtomicMassUnit;   // the particle's rest mass (row 1), kg
  // The speed needs the energy in joules: taking MeV as if they were joules per charge made
  // the selector a thousand times too strong.
  const double speed = std::sqrt(2.0 * particle.energy * kElectronVoltsPerMeV * kElementaryCharge / mass);
  if (!(speed > 0.0) || !std::isfinite(speed)) {
    settings.error_stream().write(kNoSpeed, iz);
    return drift(s, iz, particle, settings, a);
  }
  s.p(iz, 4) = n * speed;   // the E-field that lets the reference particle through
  const double k = std::fabs(n * n * kElementaryCharge / (s.p(iz, 4) * mass));
  const double len = s.p(iz, 2);
  a = drift_matrix(len);
  a(1, 1) = std::cos(k * len);
  a(1, 2) = std::sin(k * len) / k;
  a(2, 1) = -k * std::sin(k * len);
  a(2, 2) = std::cos(k * len);
  if (s.rotation(iz) != 0.0) rotate(a, s.rotation(iz));
  store_cardinals(s, iz, a);
  return ElementStatus::ok;
}

}  // namespace vorne
