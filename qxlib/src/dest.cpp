// Placeholder until the graphics destination lands.
#include "qx/session.h"

namespace qx {

void qxdest(Session&, std::string&) {}
void dest_command(Session&, Input&, Output&, bool, const CommandLine&) {}

}  // namespace qx
