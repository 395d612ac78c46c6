// The coefficient file (".cof"): the polynomial ray map of a lens system as the design
// program writes it, read by COFIN, reviewed by COFREV and rewritten by COFSAV.
#pragma once

#include <array>
#include <string>

#include "io/dialog.h"
#include "qx/coffile.h"
#include "qx/units.h"

namespace lumiray {

inline constexpr std::size_t kTitleLength = 100;     // the title field in memory
// The name rule and the file's field lengths are the design program's too.
using qx::cof_file_name;
using qx::kCofAnswerLength;
using qx::kCofNameLength;
using qx::kCofShapeRecord;
using qx::kCofTitleLength;
using qx::kCofUnit;

// The polynomial map and the geometry of one lens system. Indices follow the file's own
// numbering: first(i, j), map(i, c), third(r, k), fifth(r, k), chromatic(k), all 1-based.
struct CoefficientSet {
  std::string title = std::string(kTitleLength, ' ');   // system title
  std::array<double, 4> object{};     // X half-width, X centre, Y half-width, Y centre (m)
  std::array<double, 4> aperture{};   // the same for the collimator aperture (m)
  double collimator_distance = 0.0;   // object to aperture (m)
  char aperture_shape = ' ';          // 'S' square; anything else circular
  double shadow_distance = 0.0;       // image to shadow plane (m)
  double total_length = 0.0;          // total system length (m)
  std::array<double, 16> first_order{};    // first-order matrix, row by row
  std::array<double, 56> map_terms{};      // 4 x 14: columns 1-4 first order, 5-14 second order
  std::array<double, 24> third_order{};    // 2 x 12: row 1 x output, row 2 y output
  std::array<double, 12> fifth_order{};    // 2 x 6
  std::array<double, 4> chromatic_terms{}; // X/Th%DE, Y/Ph%DE, X/X%DE, Y/Y%DE
  bool loaded = false;                // a whole file was read: ray mapping is active

  double& first(int i, int j) { return first_order[static_cast<std::size_t>((i - 1) * 4 + (j - 1))]; }
  double first(int i, int j) const { return first_order[static_cast<std::size_t>((i - 1) * 4 + (j - 1))]; }
  double& map(int i, int c) { return map_terms[static_cast<std::size_t>((i - 1) * 14 + (c - 1))]; }
  double map(int i, int c) const { return map_terms[static_cast<std::size_t>((i - 1) * 14 + (c - 1))]; }
  double& third(int r, int k) { return third_order[static_cast<std::size_t>((r - 1) * 12 + (k - 1))]; }
  double third(int r, int k) const { return third_order[static_cast<std::size_t>((r - 1) * 12 + (k - 1))]; }
  double& fifth(int r, int k) { return fifth_order[static_cast<std::size_t>((r - 1) * 6 + (k - 1))]; }
  double fifth(int r, int k) const { return fifth_order[static_cast<std::size_t>((r - 1) * 6 + (k - 1))]; }
  double& chromatic(int k) { return chromatic_terms[static_cast<std::size_t>(k - 1)]; }
  double chromatic(int k) const { return chromatic_terms[static_cast<std::size_t>(k - 1)]; }

  // Columns 1-4 of the working map from the first-order matrix.
  void refresh_map();
};

// The body of the file from its first record on, as COFIN reads it: the title (A50), then
// the groups 4, 4, 1, the shape line (A80), 1, 1, 16, 40, 24, 12 and 4 values, each group
// read free form starting on a new record. Fills `set` (loaded stays as it was) and
// returns true only when every group was read.
bool read_coefficients(qx::Input& in, CoefficientSet& set);

// COFIN: asks for the name when it is blank, loops while the file does not exist, reads
// the file into a scratch set and makes it current only when the whole file was read.
// `name` receives the name used. Returns 0 on success, 1 on failure.
int cofin(Dialogue d, std::string& name, CoefficientSet& current);

// COFREV: COFIN, then (unless the option letter is N) the review dialogue and COFSAV.
// Returns 0 on success, 1 when the coefficients could not be read, 2 when the input ended
// during the dialogue (the command is cancelled; answers given so far stay in memory).
int cofrev(Dialogue d, std::string& name, char option, CoefficientSet& current);

// COFSAV: writes the set so that COFIN reads back every value bit for bit. Asks for the
// name when it is blank. Returns true when the file was written.
bool cofsav(Dialogue d, std::string name, CoefficientSet& set);

}  // namespace lumiray
