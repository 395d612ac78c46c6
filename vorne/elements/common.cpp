// Pieces every element routine shares: drift, rotation, plane swap, the energy at a row, the
// preceding-lens search and the cardinal elements.
#include <algorithm>
#include <cmath>

#include "elements/elements.h"

namespace vorne {

namespace {

// An image at infinity or a magnification without bound is kept as this large value, so no
// inf reaches a report or a file.
double bounded(double x) {
  if (std::isfinite(x)) return x;
  if (std::isnan(x)) return 0.0;
  return std::copysign(kNoFocus, x);
}

// The image of an object at distance u before a thin lens of focal length f, as distance v
// after it and magnification -v/u. The limits are taken where the formula divides by zero:
// an object on the lens is its own image (v = 0, magnification 1), an object in the focal
// plane is imaged at infinity.
void thin_image(double f, double u, double& v, double& mag) {
  if (u == 0.0) {
    v = 0.0;
    mag = 1.0;
    return;
  }
  const double d = 1.0 / f - 1.0 / u;
  v = bounded(1.0 / d);
  mag = bounded(-v / u);
}

}  // namespace

ElementRoutine element_routine(int type) {
  if (type == kBeam || type == kCollimator || is_unnamed_type(type)) return nullptr;
  switch (type) {
    case kDrift: return drift;
    case kQuadrupole: return quad;
    case kSextupole: return sext;
    case kVelocitySelector: return vs;
    case kOctupole: return octu;
    case kAccelerator: return accel;
    case kSolenoid: return solenoid;
    case kGapLens: return gap;
    case kEinzelLens: return einz;
    case kCylinderLens: return cyl;
    default: return dip;
  }
}

Mat4 drift_matrix(double len) {
  Mat4 a = Mat4::identity();
  a(1, 2) = len;
  a(3, 4) = len;
  return a;
}

ElementStatus drift(LensSystem& s, int iz, const Particle&, const WalkSettings&, Mat4& a) {
  a = drift_matrix(s.p(iz, 2));
  std::fill_n(&s.p(iz, 5), kColumns - 4, 0.0);   // columns 5-12 of the row
  return ElementStatus::ok;
}

void rotate(Mat4& a, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  Mat4 r;   // R(angle)
  Mat4 rm;  // R(-angle)
  for (int i = 1; i <= 4; ++i) r(i, i) = rm(i, i) = c;
  r(1, 3) = r(2, 4) = -s;
  r(3, 1) = r(4, 2) = s;
  rm(1, 3) = rm(2, 4) = s;
  rm(3, 1) = rm(4, 2) = -s;
  mul_left(a, rm);   // rm := A x R(-angle)
  mul_left(r, rm);   // rm := R(angle) x A x R(-angle)
  a = rm;
}

void swap_planes(Mat4& a) {
  static constexpr int kSwap[5] = {0, 3, 4, 1, 2};
  const Mat4 old = a;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) a(i, j) = old(kSwap[i], kSwap[j]);
}

double energy_at(const LensSystem& s, int iz) {
  // A column of voltage V gives a particle of charge q the energy |q| V, as the column's own
  // matrix takes it; counting V alone would misplace every later element for ions with q > 1.
  const double charge = std::fabs(s.p(1, 2));
  double t = s.p(1, 12);
  for (int k = kFirstElementRow; k < iz && k <= kRows; ++k)
    if (code_class(s.p(k, 1)) == kAccelerator) t += charge * s.p(k, 3);
  return t;
}

bool images_as_lens(const LensSystem& s, int k) {
  // Only lenses count: a collimator keeps an offset in P2 and must not pose as one.
  if (!(std::fabs(s.p(k, 3)) >= kLensFieldThreshold)) return false;
  const int code = code_class(s.p(k, 1));
  if (code < 0 || code > kLastLensCode) return false;
  return unpack(s.p(k, 1)).polarity != 0;
}

int preceding_lens(const LensSystem& s, int iz) {
  for (int k = std::min(iz, kRows + 1) - 1; k >= kFirstElementRow; --k)
    if (images_as_lens(s, k)) return k;
  return 2;
}

ObjectDistances object_distances(const LensSystem& s, int iz) {
  ObjectDistances d;
  d.lens = preceding_lens(s, iz);
  const double z = s.p(iz, 5);
  d.ux = d.lens == 2 ? z : z - s.p(d.lens, 6);
  d.uy = d.lens == 2 ? z : z - s.p(d.lens, 7);
  return d;
}

PlaneCardinals plane_cardinals(double a11, double a21, double a22, double len, double u0) {
  PlaneCardinals c;
  if (a21 == 0.0) {
    c.image = -u0;
    return c;
  }
  c.focal = bounded(-1.0 / a21);
  c.h1 = bounded((a22 - 1.0) / a21);
  c.h2 = bounded((a11 - 1.0) / a21);
  const double u = u0 - len / 2.0 + c.h1;
  double v = 0.0;
  thin_image(c.focal, u, v, c.mag);
  c.image = bounded(len / 2.0 + v - c.h2);
  return c;
}

PlaneCardinals thin_lens_cardinals(double f, double u) {
  PlaneCardinals c;
  c.focal = f;
  thin_image(f, u, c.image, c.mag);
  return c;
}

void store_cardinals(LensSystem& s, int iz, const Mat4& a) {
  const double len = code_class(s.p(iz, 1)) == kSystemEnd ? 0.0 : s.p(iz, 2);
  const ObjectDistances d = object_distances(s, iz);
  const PlaneCardinals x = plane_cardinals(a(1, 1), a(2, 1), a(2, 2), len, d.ux);
  const PlaneCardinals y = plane_cardinals(a(3, 3), a(4, 3), a(4, 4), len, d.uy);
  const double z = s.p(iz, 5);
  s.p(iz, 6) = x.image + z;
  s.p(iz, 7) = y.image + z;
  s.p(iz, 9) = x.mag;
  s.p(iz, 10) = y.mag;
  s.p(iz, 11) = x.focal;
  s.p(iz, 12) = y.focal;
}

ElementStatus wrong_kind(qx::Output* out, const qx::Format& message, int iz, double code) {
  if (out != nullptr) out->write(message, iz, code);
  return ElementStatus::wrong_kind;
}

bool all_finite(const Mat4& a) {
  for (const double x : a.v)
    if (!std::isfinite(x)) return false;
  return true;
}

ElementStatus finish_round_lens(LensSystem& s, int iz, const WalkSettings& settings, Mat4 m, const qx::Format& error,
                                Mat4& a) {
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) m(i + 2, j + 2) = m(i, j);
  if (m(4, 3) == 0.0 || m(2, 1) == 0.0 || !all_finite(m)) {
    settings.term().write(error, iz, m(2, 1), m(4, 3));
    return ElementStatus::degenerate;
  }
  a = m;
  store_cardinals(s, iz, a);
  return ElementStatus::ok;
}

ElementStatus ratio_lens(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a,
                         const RatioLens& lens) {
  const double code = s.p(iz, 1);
  if (code_class(code) != lens.kind) return wrong_kind(&settings.term(), lens.not_kind, iz, code);
  const double r = s.p(iz, 3);
  if (r == 1.0) return drift(s, iz, particle, settings, a);
  const std::optional<Mat4> m = lens.fit(r, s.p(iz, 2));
  if (!m) {
    settings.term().write(lens.bad_ratio, iz);
    return ElementStatus::degenerate;
  }
  return finish_round_lens(s, iz, settings, *m, lens.error, a);
}

}  // namespace vorne
