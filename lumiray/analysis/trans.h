// TRANS: the current ray set through a further lens system given by a second coefficient
// file: rays that pass its collimator are mapped and form the new current set.
#pragma once

#include <string>

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

// True when the ray, carried over the collimator distance of the set, passes its aperture.
// Nothing loaded: every ray fails.
bool passes_collimator(const CoefficientSet& c, const Ray& r);

// The TRANS command; name is the coefficient file name as typed (may be blank).
void trans_command(Lumiray& s, const qx::CommandLine& line, const std::string& name);

}  // namespace lumiray
