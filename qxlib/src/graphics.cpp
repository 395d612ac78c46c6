// Placeholder until the graphics layer lands: no library command is recognised.
#include "qx/graphics.h"

namespace qx {

bool qxcmd(Session&, Input&, Output&, bool, const CommandLine&) { return false; }
void qxclr(Session&, Output&, char) {}
void close_plot_files(Session&) {}

}  // namespace qx
