// The system data file (".vrn") and the element line of the listing.
//
// File layout, one record per line:
//   title                  " " and the title
//   particle               0.0, charge, mass (amu), energy (MeV), diagnostic level
//   beam                   1.0, x half extent (m), x half divergence (rad), y half extent (m),
//                          y half divergence (rad), energy half spread
//   one record per element type code and three parameters, up to the System End (9.00)
//   "SENTINEL"
// Records are read list-directed (values over several lines, "/" ends a record early) and
// written in fixed layouts (F12.6, or 1P,G12.5 for values that do not fit).
#pragma once

#include <string>
#include <string_view>

#include "qx/units.h"
#include "system/system.h"

namespace vorne {

inline constexpr std::string_view kDataExtension = ".vrn";

enum class LoadResult {
  loaded,                // a complete system up to its System End
  end_of_data,           // the title begins with "SENT": the file holds no system
  read_error,            // malformed record, bad type code, no System End within 40 rows
  wrong_first_elements   // the first records are not particle (0.x) and beam (1.x)
};

// Reads a system from in into s (table cleared first; title, rows and izend set, the System
// End row being izend). Never writes past row 40: a file whose System End comes later is a
// read error. Nothing is printed.
LoadResult read_system(qx::Input& in, LensSystem& s);

// Writes the records of SAVE for a loaded system (rows 1..izend, then "SENTINEL").
void write_system(qx::Output& out, const LensSystem& s);

// The beam row's line: x, theta, y, phi from columns first..first+3 of row 2 in micrometres
// and milliradians (the half sizes are columns 2-5, the beam vector the walk carries 7-10).
void write_beam_line(qx::Output& out, const LensSystem& s, int first);

// The listing's line for row iz (k: the last column shown, 5 in the listing; a drift shows
// its length only). The beam row shows extents in micrometres and divergences in milliradians.
void write_element_line(qx::Output& out, const LensSystem& s, int iz, int k = 5);

}  // namespace vorne
