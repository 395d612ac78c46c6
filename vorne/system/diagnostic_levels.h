// The diagnostic levels that change what the program computes or where it writes, named once.
//
// The working level (row 1, column 5 of the table, IDIAG) picks where messages go by its
// sign: positive on the report stream (the listing while the final run has it open), negative
// on the terminal, 0 nowhere. Beyond that, these levels have a meaning of their own:
#pragma once

namespace vorne {

// ---- Negative levels: modes of the computation -------------------------------------------------
inline constexpr int kQuietLevel = 0;             // messages that follow the level are not shown
inline constexpr int kTerminalLevel = -1;         // the level at start-up; fits drop to it
inline constexpr int kMacroEndLevel = -2;         // stored when a macro file ends
inline constexpr int kQspherTraceLevel = -4;      // QSPHER traces each quadrupole's set
inline constexpr int kThinLensFitLevel = -6;      // "apr> ": quadrupoles as thin lenses, the
                                                  // fits drive the image distances
inline constexpr int kThinFocalLevel = -8;        // QSPHER with thin-lens focal lengths
inline constexpr int kThinSphericalLevel = -9;    // QSPHER's thin-lens spherical terms

// ---- Positive levels: the walk's trace of each element -----------------------------------------
inline constexpr int kTraceRows = 1;              // the row as listed
inline constexpr int kTraceMatrices = 2;          // and the element's matrix
inline constexpr int kTraceSystemMatrix = 3;      // and the system matrix so far
inline constexpr int kTraceGeometry = 4;          // and the geometric listing
inline constexpr int kTraceMatrixGeometry = 5;    // the element's matrix and the listing
inline constexpr int kTraceBeamOnlyFirst = 6;     // 6 and 7: no element trace, the beam
inline constexpr int kTraceBeamOnlyLast = 7;      // vectors only
inline constexpr int kTraceLensSet = 8;           // the row and the lens's third-order set
inline constexpr int kTraceSystemSet = 9;         // and the system's sums so far
inline constexpr int kMaxTraceLevel = kTraceSystemSet;   // a walk above it traces at 1

}  // namespace vorne
