// Commands the table offers but the program does not carry out yet: each is accepted and does
// nothing, as before it was built.
#include "commands.h"

namespace vorne {

void cmd_trace(Vorne&, const qx::CommandLine&) {}

void cmd_spec(Vorne&, const qx::CommandLine&) {}

}  // namespace vorne
