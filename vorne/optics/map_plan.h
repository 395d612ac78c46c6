// The layout and plan of the integrated map (integrated_map.h): where along z the system's
// field sources, formula rows and drifts lie, and for one fringe length the sequence of
// drifts, field regions and rows passed by formula that the integration walks through.
#pragma once

#include <vector>

#include "optics/fields.h"
#include "optics/integrated_map.h"
#include "optics/third_order.h"

namespace vorne::map_plan {

// A row passed with its first-order matrix and its closed-formula aberrations, which are
// referred to the lens's object: they act as a shift of the object point, that is of the
// entrance position at the entrance angle.
struct FormulaBlock {
  double a = 0.0;           // entrance z
  double b = 0.0;           // exit z
  int row = 0;
  Mat4 m;                   // first-order matrix of the row
  Mat4 dm;                  // its change per percent of energy (zero when not known)
  ThirdOrderSet c;          // referred to the lens's object
  bool aberrations = false; // c is not all zero
  double ux = 0.0;          // distances from the lens's objects to its entrance
  double uy = 0.0;
};

struct Layout {
  MapStatus status = MapStatus::ok;
  int row = 0;
  std::vector<FieldSource> sources;
  std::vector<int> segment;   // per source: the number of formula blocks before it
  std::vector<FormulaBlock> blocks;
  std::vector<int> formula_rows;
  std::vector<int> zero_length_rows;
  std::vector<int> no_limit_rows;
  std::vector<int> long_fringe_rows;
  double total = 0.0;
};

// The layout of the system in s along z for the settings; a[iz] (and per_percent, when
// given, its change per percent of energy) are the walk's element matrices. The status
// says whether the system could be laid out.
Layout layout_of(const LensSystem& s, const ElementMatrices& a, const MapSettings& settings,
                 const ElementMatrices* per_percent);

struct Op {
  enum class Kind { drift, region, formula } kind = Kind::drift;
  double a = 0.0;
  double b = 0.0;
  int block = 0;              // formula: index into the layout's blocks
  std::vector<int> members;   // region: indices of the sources felt there
};

// The drifts, field regions and formula rows of the layout for fringe length lambda.
std::vector<Op> plan_of(const Layout& lay, double lambda);

}  // namespace vorne::map_plan
