// FAKE: asks for the coefficients and the sampling, writes the paraxial rays and the
// generated rays to a ray file and makes it the current data set.
#pragma once

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

void fake_command(Lumiray& s, const qx::CommandLine& line);

}  // namespace lumiray
