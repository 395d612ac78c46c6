#include "fit/excitation.h"

#include "session/walks.h"
#include "qx/format.h"

namespace vorne {

// ---- Excitation coefficients ------------------------------------------------------------------

ExcitationCoefficients excitation_coefficients(Vorne& v, double percent) {
  LensSystem& s = v.sys;
  if (percent == 0.0) percent = 0.5;
  qx::StringOutput quiet;   // sign notes are for COUPLE and the fits' start, not every step
  collect_groups(s, quiet);
  const double angle = 1.0 / percent;
  const double raise = 1.0 + percent / 100.0;
  const double third = angle * angle * angle * 1.0E5 * percent / 100.0;
  ExcitationCoefficients e;
  for (int iz = kFirstElementRow; iz <= s.izend; ++iz) {
    const TypeCode t = s.type_at(iz);
    if (t.polarity == 0 || t.type == kDipole) continue;
    const double field = s.p(iz, 3);
    auto trace = [&](int order, double theta, double phi) {
      s.p(iz, 3) = raise * field;
      system_walk(v, order, false);
      Vec4 ray;
      ray(2) = theta;
      ray(4) = phi;
      ray_transform(v, order, ray, v.walk.s);
      s.p(iz, 3) = field;
      return ray;
    };
    if (t.type == kOctupole) {
      const std::size_t k = static_cast<std::size_t>(e.octupoles++);
      e.octupole[k][0] = trace(3, angle, 0.0)(1) / third;
      e.octupole[k][1] = trace(3, 0.0, angle)(3) / third;
    } else {
      const Vec4 ray = trace(1, angle, angle);
      const std::size_t k = static_cast<std::size_t>(e.lenses++);
      e.lens[k] = {ray(1) * kMicronsPerMilliradian, ray(3) * kMicronsPerMilliradian};
      e.lens_row[k] = iz;
    }
  }
  e.groups = s.nv;
  for (int g = 1; g <= s.nv; ++g) {
    const double value = s.group_value(g);
    s.group_value(g) = raise * value;
    apply_groups(s);
    system_walk(v, 1, false);
    Vec4 ray;
    ray(2) = ray(4) = angle;
    ray_transform(v, 1, ray, v.walk.s);
    s.group_value(g) = value;
    e.group[static_cast<std::size_t>(g - 1)] = {ray(1) * kMicronsPerMilliradian, ray(3) * kMicronsPerMilliradian};
  }
  apply_groups(s);
  return e;
}

}  // namespace vorne
