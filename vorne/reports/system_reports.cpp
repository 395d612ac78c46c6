// Reports on the system as a whole: SMAT (the first-order matrix), SYSTEM (the geometric
// listing and the figure of merit), RUSS (the parameters of a quadruplet) and VECTOR (the
// initial beam vector carried through the system to a chosen order).
#include "reports/system_reports.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "optics/corrections.h"
#include "optics/listings.h"
#include "optics/third_order.h"
#include "session/walks.h"
#include "qx/numeric.h"
#include "reports/reports.h"

namespace vorne {

namespace {

constexpr double kChromaticSpread = 0.5;   // percent: VECTOR's chromatic run
constexpr std::int64_t kMaxOrderCode = 99; // VECTOR shows its order as I2

// Labels of the matrix entries: d(output i)/d(input j), padded to one width.
constexpr const char* kMatrixLabels[4][4] = {{"(X/X)  ", "(X/TH) ", "(X/Y)  ", "(X/PH) "},
                                             {"(TH/X) ", "(TH/TH)", "(TH/Y) ", "(TH/PH)"},
                                             {"(Y/X)  ", "(Y/TH) ", "(Y/Y)  ", "(Y/PH) "},
                                             {"(PH/X) ", "(PH/TH)", "(PH/Y) ", "(PH/PH)"}};

Vec4 initial_beam(const LensSystem& s) {
  Vec4 b;
  for (int i = 1; i <= 4; ++i) b(i) = s.p(2, i + 1);
  return b;
}

// The ray transform adds the chromatic terms at these order codes (2, -2 and 3 or more).
bool uses_chromatic_terms(int order) { return std::abs(order) >= 2 && order > -3; }

}  // namespace

// ---- SMAT --------------------------------------------------------------------------------------

void cmd_smat(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  system_walk(v, 1);
  const Mat4& s = v.walk.s;
  static const qx::Format kHeading{"(1H ,/,1H ,'System Beam Matrix:')"};
  v.term.write(kHeading);
  for (int i = 1; i <= 4; ++i) {
    const auto& label = kMatrixLabels[i - 1];
    static const qx::Format kRow{"(1H ,4(1X,A,'=',1P,G10.3))"};
    v.term.write(kRow, label[0], s(i, 1), label[1], s(i, 2), label[2], s(i, 3), label[3], s(i, 4));
  }
  static const qx::Format kUnits{"(1H ,'Units: m, rad',/)"};
  v.term.write(kUnits);
}

// ---- SYSTEM ------------------------------------------------------------------------------------

void cmd_system(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  system_walk(v, 1);
  static const qx::Format kFrom{"(1H ,/,1H ,'From system  B - matrix')"};
  v.term.write(kFrom);
  geometric_listing(v.sys, v.sys.izend, v.walk.s, walk_settings(v));

  system_walk(v, -3);
  const ThirdOrderSet r = magnification_included(v.walk.total, mag(v, v.sys.izend));
  const double thth = v.walk.s(2, 2);
  const double phph = v.walk.s(4, 4);
  const double xth3 = r(1, 1);
  const double yph3 = r(2, 1);
  static const qx::Format kAngles{
      "(1H ,'(th/th)=',1P,G12.5,' (ph/ph)=',1P,G12.5,/,1H ,'(x/th3)=',1P,G12.5,' (y/ph3)=',1P,G12.5)"};
  v.term.write(kAngles, thth, phph, xth3, yph3);
  const double spherical = std::fabs(xth3 * yph3);
  if (spherical == 0.0) {
    static const qx::Format kNoMerit{
        "(1H ,/,1H ,'%SYSTEM- No spherical aberration: the figure of merit is not defined.',/)"};
    v.term.write(kNoMerit);
    return;
  }
  static const qx::Format kMerit{
      "(1H ,/,1H ,'Pellow''s Figure of Merit:',/,"
      "1H ,'Q = [(th/th)*(ph/ph)]/[(x/th3)*(y/ph3)]^1/3 = ',1P,G12.5,/)"};
  // A quadrupole system images one plane upright and the other inverted: the figure of merit
  // takes the size of the angular magnification product, never its sign.
  v.term.write(kMerit, std::fabs(thth * phph) / std::cbrt(spherical));
}

// ---- RUSS --------------------------------------------------------------------------------------

void cmd_russ(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  system_walk(v, 1);
  const LensSystem& s = v.sys;
  const int last = last_active_lens(s);
  if (last == 0) {
    static const qx::Format kNoLens{"(1H ,'%RUSS- No active lens in the system.')"};
    v.term.write(kNoLens);
    return;
  }
  const FocalLengths f = focal(v, s.izend);
  const Magnification m = mag(v, s.izend);
  const double total = s.total_length;
  const double mid = s.lens_mid;
  // A thin lens at the middle of the lens region imaging the system's object onto its end;
  // with the lens at either end the image distance, and so the focal length, is 0.
  const double thin = mid != 0.0 && total != mid ? 1.0 / (1.0 / mid + 1.0 / (total - mid)) : 0.0;
  static const qx::Format kParameters{
      "(1H ,/,1H ,11X,'RUSSIAN PARAMETERS',7X,'X-Plane',6X,'Y-Plane',/,"
      "1H ,5X,'            Focal Length',3X,2(1X,0P,F10.5,' m'),/,"
      "1H ,5X,'           Magnification',3X,2(1X,0P,F10.5,' m'),/,"
      "1H ,3X,'Errors (Totlen-L.Quad Im.)',5X,2(1X,1P,G10.3),' micron',/,"
      "1H ,5X,'  Thin Lens Focal Length',9X,0P,F10.5,' m',/,"
      "1H ,5X,'     System Total Length',9X,0P,F10.5,' m',/)"};
  v.term.write(kParameters, f.fx, f.fy, m.mx, m.my, (s.p(last, 6) - total) * kMicrometresPerMetre,
               (s.p(last, 7) - total) * kMicrometresPerMetre, thin, total);
}

// ---- VECTOR ------------------------------------------------------------------------------------

void cmd_vector(Vorne& v, const qx::CommandLine& line) {
  const std::optional<std::int64_t> typed = qx::int_part(line.number, -kMaxOrderCode, kMaxOrderCode);
  if (!typed) {
    static const qx::Format kRange{"(1H ,'?VECTOR- Order out of range: ',1P,G13.5)"};
    v.term.write(kRange, line.number);
    return;
  }
  if (!require_system(v)) return;
  const int order = *typed == 0 ? 1 : static_cast<int>(*typed);
  system_walk(v, std::abs(order));
  // The chromatic terms the transform adds come from a run on the system as it is now, not
  // from whatever run came last.
  if (uses_chromatic_terms(order)) chromatic_run(v, kChromaticSpread);

  const ThirdOrderSet walked = v.walk.total;
  if (order == -4) {
    const FishkResult r = fishk(v.sys, walk_settings(v), v.term);
    if (!r.suited) return;
    v.walk.total(1, 1) = r.c.p;
    v.walk.total(1, 2) = r.c.s;
    v.walk.total(2, 1) = r.c.pb;
    v.walk.total(2, 2) = r.c.sb;
  }
  const Vec4 start = initial_beam(v.sys);
  Vec4 end = start;
  ray_transform(v, order, end, v.walk.s);
  v.walk.total = walked;

  static const qx::Format kVectors{
      "(1H ,19X,'Beam Vectors',/,1H ,19X,'Initial',8X,'Final',6X,'Order = ',I2,/,"
      "1H ,10X,' X    ',2(1P,G13.5,2X),'micron',/,1H ,10X,' Theta',2(1P,G13.5,2X),'mrad',/,"
      "1H ,10X,' Y    ',2(1P,G13.5,2X),'micron',/,1H ,10X,' Phi  ',2(1P,G13.5,2X),'mrad')"};
  v.term.write(kVectors, order, start(1) * kMicrometresPerMetre, end(1) * kMicrometresPerMetre,
               start(2) * kMilliradiansPerRadian, end(2) * kMilliradiansPerRadian, start(3) * kMicrometresPerMetre,
               end(3) * kMicrometresPerMetre, start(4) * kMilliradiansPerRadian,
               end(4) * kMilliradiansPerRadian);
  static const qx::Format kSpherical{"(1H ,10X,'First order and Spherical aberrations only.')"};
  static const qx::Format kFishk{"(1H ,10X,'First order and Fishk spherical aberraions only.')"};
  static const qx::Format kAllThird{"(1H ,10X,'First, Chromatic and all third order',' aberrations.')"};
  static const qx::Format kAngleChromatic{"(1H ,10X,'First order and angle Chromatic aberrations only.')"};
  static const qx::Format kAllChromatic{"(1H ,10X,'First order and all Chromatic aberrations.')"};
  switch (order) {
    case -3: v.term.write(kSpherical); break;
    case -4: v.term.write(kFishk); break;
    case 3: v.term.write(kAllThird); break;
    case -2: v.term.write(kAngleChromatic); break;
    case 2: v.term.write(kAllChromatic); break;
    default: break;
  }
}

}  // namespace vorne
