#include "session/walks.h"

#include "system/diagnostic_levels.h"

namespace vorne {

WalkSettings walk_settings(const Vorne& v, int order, bool trace) {
  WalkSettings w;
  w.order = order;
  w.level = v.idiag;
  w.trace = trace;
  w.warnings = v.warnings;
  w.terminal = &v.term;
  w.listing = v.listing;
  return w;
}

void system_walk(Vorne& v, int order, bool trace) {
  if (!v.sys.loaded()) return;
  if (trace && v.idiag > kMaxTraceLevel) v.set_diagnostic(kTraceRows);
  system_walk(v.sys, v.walk, walk_settings(v, order, trace));
}

Magnification mag(Vorne& v, int iz) { return mag(v.sys, iz, walk_settings(v)); }

FocalLengths focal(Vorne& v, int iz) { return focal(v.sys, iz, walk_settings(v)); }

double squared_objective(Vorne& v) {
  system_walk(v, 1);
  return squared_objective(v.sys, v.walk, v.idiag);
}

void ray_transform(Vorne& v, int m, Vec4& x, const Mat4& a) { ray_transform(v.sys, v.walk, walk_settings(v), m, x, a); }

void chromatic_run(Vorne& v, double de) {
  // The run's walk traces like any walk: a level above the traces' range works as 1 (the
  // stored level comes back with the table).
  if (v.sys.loaded() && v.idiag > kMaxTraceLevel) v.idiag = kTraceRows;
  v.walk.chromatic = chromatic_terms(v.sys, v.walk, de, walk_settings(v, 1, true));
}

}  // namespace vorne
