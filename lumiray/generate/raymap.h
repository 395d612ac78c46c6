// The polynomial ray map: a ray at the object side of the lens system mapped to its end.
#pragma once

#include <optional>

#include "io/coef.h"
#include "io/rayfile.h"

namespace lumiray {

// RAYMAP: first- and second-order map of all four coordinates, the third- and fifth-order
// terms and the chromatic terms of the positions. With nothing loaded the ray comes back
// unchanged. The energy deviation is carried through.
Ray raymap(const CoefficientSet& c, const Ray& in);

// RAYSOL: the axially symmetric lens approximation used with the solenoid option: first
// order, then the spherical and chromatic terms along the ray's azimuth.
Ray raysol(const CoefficientSet& c, const Ray& in);

// FOCPOS: focal positions from the end of the system (m); 1.0E10 where the matrix holds
// no focusing. Empty while no coefficients are loaded.
struct FocalPositions {
  double f = 1.0e10;   // x
  double g = 1.0e10;   // y
};
std::optional<FocalPositions> focpos(const CoefficientSet& c);

}  // namespace lumiray
