// The octupole correction commands: FISHK (thin-lens estimate of the quadrupoles' spherical
// aberration, corrected when there are octupoles enough) and CRAM (correction towards
// targets the user types, offered as the system's present coefficients).
#include "reports/correction_reports.h"

#include <cstddef>
#include <utility>

#include "optics/corrections.h"
#include "optics/third_order.h"
#include "session/walks.h"
#include "reports/reports.h"

namespace vorne {

namespace {

constexpr std::size_t kCoefficientField = 12;   // the answers are read as F12.0
// Micrometres per milliradian cubed in one m/rad^3, per unit of magnification.
constexpr double kPerMilliradian = 0.001;

}  // namespace

void cmd_fishk(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  system_walk(v, -3);
  // FISHK's table shows the coefficients image-side; CRAMER is handed them as computed.
  octupole_correction_report(v.sys, v.walk, walk_settings(v));
}

void cmd_cram(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  system_walk(v, -3);
  const Magnification m = mag(v, v.sys.izend);
  const ThirdOrderSet r = magnification_included(v.walk.total, m);
  // The prompts offer the image-side values as AB3 shows them; the two mixed terms are the
  // x plane's coefficient 2 and the y plane's coefficient 2.
  double xth3 = r(1, 1);
  double xth2ph = r(1, 2);
  double ythph2 = r(2, 2);
  double yph3 = r(2, 1);
  static const qx::Format kXth3{"(1H ,'(X/TH3)   = ',F11.3,' > ',$)"};
  static const qx::Format kXth2ph{"(1H ,'(X/TH2PH) = ',F11.3,' > ',$)"};
  static const qx::Format kYthph2{"(1H ,'(Y/THPH2) = ',F11.3,' > ',$)"};
  static const qx::Format kYph3{"(1H ,'(Y/PH3)   = ',F11.3,' > ',$)"};
  for (auto [layout, value] : {std::pair{&kXth3, &xth3}, std::pair{&kXth2ph, &xth2ph}, std::pair{&kYthph2, &ythph2},
                               std::pair{&kYph3, &yph3}}) {
    if (ask_fixed_real(v, {*layout, true, true}, kCoefficientField, *value) != qx::Answer::accepted) return;
  }
  static const qx::Format kUser{"(1H ,'With user supplied coefficients,')"};
  v.term.write(kUser);
  const double sx = m.mx * kPerMilliradian;
  const double sy = m.my * kPerMilliradian;
  if (sx == 0.0 || sy == 0.0) {
    static const qx::Format kZeroMag{"(1H ,'?CRAM- Zero magnification: the targets cannot be referred to the object.')"};
    v.term.write(kZeroMag);
    return;
  }
  // CRAMER works with object-referred coefficients in m/rad^3.
  const CramerTargets t{xth3 / sx, xth2ph / sx, yph3 / sy, ythph2 / sy};
  octupole_correction(v.sys, walk_settings(v), t);
}

}  // namespace vorne
