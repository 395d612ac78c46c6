// SPEC: a new file of (z, astigmatism) pairs over a range of z, each from the system cut at z.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// SPEC [file]: asks for the file when not given (a new file, at most 30 characters), then for
// z initial, z final and the number of steps.
void cmd_spec(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
