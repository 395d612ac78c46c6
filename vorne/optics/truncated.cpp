#include "optics/truncated.h"

#include <cmath>

#include "elements/elements.h"
#include "optics/snapshot.h"
#include "optics/walk.h"

namespace vorne {

namespace {

// The collision test looks at a collimator (a row of no length) for this many steps past it.
constexpr double kCollimatorSteps = 2.0;

}  // namespace

double plain_length(const LensSystem& s) {
  double len = 0.0;
  for (int k = kFirstElementRow; k < s.izend && k <= kRows; ++k)
    if (s.type_at(k).supra == 0) len += s.p(k, 2);
  return len;
}

ZLocation locate_z(const LensSystem& s, double z, double step) {
  ZLocation loc;
  double start = 0.0;
  int collimator = 0;
  for (int k = kFirstElementRow; k < s.izend && k <= kRows; ++k) {
    const TypeCode t = s.type_at(k);
    if (t.supra == 1) continue;
    if (collimator == 0 && t.type == kCollimator && z >= start && z < start + kCollimatorSteps * step) collimator = k;
    const double len = s.p(k, 2);
    if (z < start + len) {
      loc.row = k;
      loc.start = start;
      loc.test_row = collimator != 0 ? collimator : k;
      return loc;
    }
    start += len;
  }
  loc.row = s.izend;
  loc.start = start;
  loc.beyond = z > start ? z - start : 0.0;
  loc.test_row = collimator != 0 ? collimator : s.izend;
  return loc;
}

void cut_system(LensSystem& s, const ZLocation& loc, double z) {
  if (loc.row < kFirstElementRow || loc.row >= s.izend) return;
  const double len = z - loc.start;
  int next = loc.row;
  // A cut at the very start leaves the row out: a lens of no length would only lose its
  // stored magnification and take the system's with it.
  if (len > 0.0) {
    const double whole = s.p(loc.row, 2);
    // Part of a uniform column gains the part of its voltage: the field stays the same.
    if (code_class(s.p(loc.row, 1)) == kAccelerator && whole != 0.0) s.p(loc.row, 3) *= len / whole;
    s.p(loc.row, 2) = len;
    for (next = loc.row + 1; next < s.izend && s.type_at(next).supra == 1; ++next) s.p(next, 2) = len;
  }
  s.p(next, 1) = 9.0;
  for (int c = 2; c <= kColumns; ++c) s.p(next, c) = 0.0;
  s.izend = next;
}

TruncatedResult evaluate_truncated(LensSystem& s, WalkResult& w, const WalkSettings& settings, int order, double z,
                                   double step, const Vec4& beam) {
  TruncatedResult r;
  r.at = locate_z(s, z, step);
  r.type = r.at.row < s.izend ? s.type_at(r.at.row).type : kDrift;   // beyond: a drift
  const SystemSnapshot keep(s, w);
  WalkSettings quiet = settings;
  quiet.warnings = false;   // the notes are about the whole system, not each cut of it
  quiet.trace = false;
  cut_system(s, r.at, z);
  // The truncated system's own higher-order sums, never those of an earlier walk; the traced
  // ray is on energy, so no chromatic terms.
  quiet.order = order >= 3 ? -3 : (order == 2 ? 2 : 1);
  system_walk(s, w, quiet);
  w.chromatic = ChromaticTerms{};
  r.s = w.s;
  r.ray = beam;
  ray_transform(s, w, quiet, order >= 3 ? 3 : 1, r.ray, r.s);
  // Inside a lens whose cut part images to infinity the third-order terms pass through a
  // pole; exactly on it they are no numbers, and the first-order ray is all there is.
  if (!std::isfinite(r.ray(1)) || !std::isfinite(r.ray(2)) || !std::isfinite(r.ray(3)) || !std::isfinite(r.ray(4)))
    r.ray = apply(r.s, beam);
  if (r.at.beyond > 0.0) {
    const Mat4 d = drift_matrix(r.at.beyond);
    r.ray = apply(d, r.ray);
    mul_left(d, r.s);
  }
  return r;
}

}  // namespace vorne
