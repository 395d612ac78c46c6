// The truncated-system evaluation: the system cut at a position z along the axis, walked up to
// that point, and put back. TRACE steps a ray through the system with it and SPEC scans the
// astigmatism; anything else that needs the beam or the matrix inside the system uses it too.
//
// Positions are the plain lengths (column 2) of the rows 3..izend-1 that are not supra lenses,
// added in table order: a supra lens shares the length of the lens it sits on.
#pragma once

#include "system/matrix.h"
#include "optics/walk.h"
#include "system/system.h"
#include "system/walk_settings.h"

namespace vorne {

// The sum of the plain lengths (m): the length TRACE offers and SPEC scans.
double plain_length(const LensSystem& s);

// Where z lies.
struct ZLocation {
  int row = 0;           // the row that contains z (start <= z < end); izend beyond the end
  int test_row = 0;      // the row the collision test looks at: a collimator whose start lies
                         // less than two steps before z, else `row`
  double start = 0.0;    // m, start of `row` (the end of the system beyond it)
  double beyond = 0.0;   // m, z minus the end of the system (0 inside it)
};
// Locates z (m, not negative) in the table; step (m) widens each collimator for the test row.
ZLocation locate_z(const LensSystem& s, double z, double step);

// Cuts the table at z inside loc.row: the row and the supra lenses stacked on it get the
// length z - start (an accelerating column keeps its field, so its voltage shrinks with it)
// and the next row becomes a System End (code 9, other columns 0), izend with it. A z at the
// very start of the row ends the system before it. Nothing happens for a z beyond the end.
void cut_system(LensSystem& s, const ZLocation& loc, double z);

// The evaluation at one z.
struct TruncatedResult {
  ZLocation at;            // where z lies
  int type = 0;            // internal type of at.row (a drift beyond the end)
  Vec4 ray;                // the beam vector at z (m, rad)
  Mat4 s = Mat4::identity();   // first-order matrix from the object to z
};

// Evaluates the system cut at z: walks it at the trace order (1 first order; 2 with its own
// second-order map; 3 and above with its own third-order sums, which the ray transform adds,
// the ray on energy) and carries `beam` to z. Beyond the end the whole system's result goes
// on through a drift of the remaining length. The walks give no notes and no traces; the table
// (izend and the lengths with it) and every result in w are exactly as before when it returns.
TruncatedResult evaluate_truncated(LensSystem& s, WalkResult& w, const WalkSettings& settings, int order, double z,
                                   double step, const Vec4& beam);

}  // namespace vorne
