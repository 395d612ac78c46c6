// Listings of the walk: the matrix print, the geometric listing GEOM and one row of the table.
#include "optics/listings.h"

#include <cmath>

#include "elements/elements.h"
#include "qx/format.h"
#include "system/datafile.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr double kAstigmatic = 1.0E-4;   // m/rad: ASTIG from this on is reported
constexpr int kLastListedColumn = 12;    // a traced row shows its results too

// Particle data and the astigmatism note that close the System End's listing.
void particle_data(qx::Output& out, const LensSystem& s, const Mat4& a) {
  const double t = s.p(1, 4);
  const double mass_amu = s.p(1, 3);
  const double charge = s.p(1, 2);
  const double p = particle_momentum(t, mass_amu);
  // At rest the speed is 0; without mass (and with energy) it is c.
  double speed = 0.0;
  if (p > 0.0) {
    const double g = mass_amu * kAtomicMassUnit * kSpeedOfLight / p;
    speed = kSpeedOfLight / std::sqrt(g * g + 1.0);
  }
  const double beta = speed / kSpeedOfLight;
  static const qx::Format kParticle{
      "(1H ,/,1H ,'         Particle energy',9X,1P,G12.5,3X,'MeV',/,"
      "1H ,'       Particle Momentum',9X,1P,G12.5,3X,'Mev/c',/,"
      "1H ,'          Particle Speed',9X,1P,G12.5,' m/s  (',0P,F6.2,' %c)',/,"
      "1H ,'Tau = (1 - v**2/c**2)**0.5',8X,0P,F10.7)"};
  out.write(kParticle, t, p * kSpeedOfLight / (kElementaryCharge * kElectronVoltsPerMeV), speed, 100.0 * beta,
            std::sqrt(1.0 - beta * beta));
  static const qx::Format kRigidity{"(1H ,'Magnetic rigidity (u.MeV/e2)',5X,1P,G12.5,'m.u.MeV/Q2',/)"};
  static const qx::Format kNoCharge{"(1H ,'Magnetic rigidity (u.MeV/e2)',5X,'  no charge',/)"};
  if (charge == 0.0)
    out.write(kNoCharge);
  else
    out.write(kRigidity, mass_amu * t / (charge * charge));
  const double astig = std::sqrt(a(1, 2) * a(1, 2) + a(3, 4) * a(3, 4));
  static const qx::Format kAstig{"(1H ,'This is an ASTIGMATIC system  ASTIG = ',1P,G13.5,' m/r')"};
  if (astig >= kAstigmatic) out.write(kAstig, astig);
}

// First row from row 2 on that is a lens; 0 for none.
int first_lens(const LensSystem& s) {
  for (int k = 2; k <= std::min(s.izend, kRows); ++k)
    if (s.type_at(k).polarity != 0) return k;
  return 0;
}

}  // namespace

void print_matrix(qx::Output& out, const Mat4& a, int kind) {
  static const qx::Format kTitle{"(1H ,/,1H ,4X,A,'  MATRIX',/)"};
  out.write(kTitle, element_name(kind));
  const char* letter = kind == kSystemMatrixKind ? "B" : "A";
  static const qx::Format kRow{"(1H ,4X,4(A,'(',I1,',',I1,') = ',G13.6,4X))"};
  for (int i = 1; i <= 4; ++i)
    out.write(kRow, letter, i, 1, a(i, 1), letter, i, 2, a(i, 2), letter, i, 3, a(i, 3), letter, i, 4, a(i, 4));
}

void list_row(qx::Output& out, const LensSystem& s, int iz) {
  if (iz == 2) {
    write_beam_line(out, s, 7);   // the beam vector the walk carries
    return;
  }
  write_element_line(out, s, iz, kLastListedColumn);
}

void geometric_listing(const LensSystem& s, int iz, const Mat4& a, const WalkSettings& settings, bool any_level) {
  const TypeCode t = s.type_at(iz);
  const bool end = t.type == kSystemEnd;
  if ((t.polarity == 0 && !end) || t.supra == 1) return;
  const int level = settings.level;
  if (!any_level && !(level < kTraceRows || level == kTraceGeometry || level == kTraceMatrixGeometry)) return;
  qx::Output& out = settings.error_stream();

  const double len = end ? 0.0 : s.p(iz, 2);
  const ObjectDistances d = object_distances(s, iz);
  const PlaneCardinals x = plane_cardinals(a(1, 1), a(2, 1), a(2, 2), len, d.ux);
  const PlaneCardinals y = plane_cardinals(a(3, 3), a(4, 3), a(4, 4), len, d.uy);
  double ux = d.ux, uy = d.uy;
  double fx = x.focal, fy = y.focal;
  double vx = x.image, vy = y.image;
  double mx = x.mag, my = y.mag;
  double beta = 0.0, theta = 0.0, amp_turns = 0.0;

  if (end) {
    // The system images from its entrance: object distance to the first lens, image distance
    // of the last lens, and the magnification of the whole system (the product of the lens
    // magnifications that every report uses).
    const int last = preceding_lens(s, iz);
    vx = last > 2 ? s.p(last, 6) - s.p(last, 5) : 0.0;
    vy = last > 2 ? s.p(last, 7) - s.p(last, 5) : 0.0;
    const int first = first_lens(s);
    ux = uy = first > 0 ? s.p(first, 5) : 0.0;
    const Magnification m = mag(s, iz, settings);
    mx = m.mx;
    my = m.my;
  } else {
    beta = s.p(iz, 8);
    theta = t.type == kOctupole ? beta * std::pow(len, 4) : beta * len;
    amp_turns = s.p(iz, 4) * s.p(iz, 3) / kMagneticConstant;
    if (t.polarity > 0) amp_turns /= t.type / 2;
    if (level == kThinLensFitLevel && t.type == kQuadrupole) {
      // The walk stored the thin-lens picture in this mode: show what it used.
      fx = s.p(iz, 11);
      fy = s.p(iz, 12);
      vx = s.p(iz, 6) - s.p(iz, 5);
      vy = s.p(iz, 7) - s.p(iz, 5);
      mx = s.p(iz, 9);
      my = s.p(iz, 10);
    }
  }

  static const qx::Format kHeader{"(1H ,/,1H ,I2,1X,A,1X,A,1X,A)"};
  out.write(kHeader, iz, supra_name(t.supra), polarity_name(t.polarity), element_name(t.type));
  static const qx::Format kEndFocal{
      "(1H ,4X,'Geometric Parameters',7X,'X-Plane      Y-Plane',/,"
      "1H ,'            Focal length',4X,2(1P,G12.5,' m '))"};
  static const qx::Format kLensFocal{
      "(1H ,4X,'Geometric Parameters',7X,'X-Plane        Y-Plane',/,"
      "1H ,'            Focal length',4X,2(1P,G12.5,' m '),2X,'beta ',1P,G10.3,' /m')"};
  if (end)
    out.write(kEndFocal, fx, fy);
  else
    out.write(kLensFocal, fx, fy, beta);
  // 0P: a scale factor left at 1P would print the ampere-turns ten times too large.
  static const qx::Format kObjectAmp{"(1H ,'         Object distance',4X,2(1P,G12.5,' m '),2X,'AmpTurns ',0P,F6.0)"};
  static const qx::Format kObject{"(1H ,'         Object distance',4X,2(1P,G12.5,' m '))"};
  if (t.polarity > 0)
    out.write(kObjectAmp, ux, uy, amp_turns);
  else
    out.write(kObject, ux, uy);
  static const qx::Format kRest{
      "(1H ,'          Image distance',4X,2(1P,G12.5,' m '),2X,'theta ',1P,G10.3,/,"
      "1H ,'           Magnification',4X,2(1P,G12.5,3X),/,"
      "1H ,'         Demagnification',4X,2(1P,G12.5,3X),/,"
      "1H ,'Entrance principle plane',4X,2(1P,G12.5,' m '),/,"
      "1H ,'    Exit principle plane',4X,2(1P,G12.5,' m '))"};
  out.write(kRest, vx, vy, theta, mx, my, a(2, 2), a(4, 4), x.h1, y.h1, x.h2, y.h2);
  static const qx::Format kThin{"(1H ,/,1H ,'%GEOM- Data for Thin Lens Approximation.')"};
  if (level == kThinLensFitLevel) out.write(kThin);
  if (end) particle_data(out, s, a);
}

}  // namespace vorne
