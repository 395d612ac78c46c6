// The pieces of element review and editing that need no dialogue: ELEMEN's headings and the
// table surgery of INSERT, REMOVE and SQUEEZ (the commands are in app/edit_commands.h).
#pragma once

#include <string_view>

#include "system/system.h"

namespace vorne {

// ---- Headings of ELEMEN ---------------------------------------------------------------------
inline constexpr int kHeadingCount = 51;

// Heading k (1..51) of ELEMEN's one heading table (10 characters).
std::string_view heading(int k);

// Which headings a row shows: entries base+1 .. base+count.
struct HeadingSelection {
  int base = 0;
  int count = 4;
};
// The selection for a row of internal type `type` and polarity `polarity` as ELEMEN shows it
// (particle and beam rows included).
HeadingSelection headings_for(int type, int polarity);

// ---- Table surgery (no messages) ---------------------------------------------------------
// Row `row` of from (columns, rotation, displacement, link) into row to_row of to.
void copy_row(const LensSystem& from, int row, LensSystem& to, int to_row);
// Moves rows k+1..izend up by one and makes row k+1 a zero-length drift (no rotation, no
// displacement); izend grows by one. Requires 2 <= k < izend < kRows.
void insert_drift_after(LensSystem& s, int k);
// Removes row k (3 <= k < izend): the rows after it move down with their rotation and
// displacement; the freed last row is cleared; izend shrinks by one.
void remove_row(LensSystem& s, int k);
// Merges every run of adjacent drifts into its first drift (lengths added); the other rows
// keep their order, rotation and displacement. Rows freed at the end are cleared.
void squeeze_drifts(LensSystem& s);

}  // namespace vorne
