// Commands the table offers but this version does not carry out (the trajectory plot and the
// astigmatism scan): each says so in one line and changes nothing.
#include "commands.h"

#include "qx/format.h"

namespace vorne {

namespace {

void not_available(Vorne& v, const char* word) {
  static const qx::Format kNote{"(1H ,'%VORNE- ',A,' is not available in this version.')"};
  v.term.write(kNote, word);
}

}  // namespace

void cmd_trace(Vorne& v, const qx::CommandLine&) { not_available(v, "TRACE"); }

void cmd_spec(Vorne& v, const qx::CommandLine&) { not_available(v, "SPEC"); }

}  // namespace vorne
