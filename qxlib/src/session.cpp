// Placeholder until the graphics destination lands.
#include "qx/session.h"

namespace qx {

GraphicsDestination::~GraphicsDestination() { close(); }

void GraphicsDestination::close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
}

void qxdest(Session&, std::string&) {}
void dest_command(Session&, Input&, Output&, bool, const CommandLine&) {}

}  // namespace qx
