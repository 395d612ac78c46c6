// Placeholders for the commands and computations of later parts of the program. Each is
// removed from here by the part that provides it; until then a command is accepted and does
// nothing. Kept one per paragraph so that parts landing separately do not touch each other's
// lines.
#include "commands.h"
#include "hooks.h"

#include <algorithm>

namespace vorne {

// ---- Commands ----------------------------------------------------------------------------------

void cmd_trace(Vorne&, const qx::CommandLine&) {}

void cmd_spec(Vorne&, const qx::CommandLine&) {}

}  // namespace vorne
