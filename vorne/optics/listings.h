// Listings of the walk: the matrix print, the geometric listing GEOM of a row and one row of
// the table as the walk's traces and the final run show them.
#pragma once

#include "optics/walk.h"
#include "system/matrix.h"
#include "system/system.h"

namespace qx {
class Output;
}

namespace vorne {

// The kind the system matrix is printed as: its name (the collimator's) heads the print and
// its entries are lettered B.
inline constexpr int kSystemMatrixKind = kCollimator;

// Matrix print on out: title with the kind's 10-character name and four rows; letter B for
// kSystemMatrixKind, A otherwise.
void print_matrix(qx::Output& out, const Mat4& a, int kind);
// Geometric listing GEOM of row iz with matrix a (the element's, or the system matrix for the
// System End), on settings.error_stream(): at diagnostic levels below 1 and 4 and 5, or at any
// level (the final run lists every row whatever its level).
void geometric_listing(const LensSystem& s, int iz, const Mat4& a, const WalkSettings& settings,
                       bool any_level = false);
// One row as the listing shows it; row 2 shows the beam vector of columns 7-10.
void list_row(qx::Output& out, const LensSystem& s, int iz);

}  // namespace vorne
