// Commands the table offers but the program does not carry out yet: each says so and changes
// nothing, so that a macro's transcript shows that nothing was done.
#include "app/pending.h"

#include "qx/format.h"

namespace vorne {

namespace {

void say_not_available(Vorne& v, const char* word) {
  static const qx::Format kNote{"(1H ,'%VORNE- ',A,' is not available in this version.')"};
  v.term.write(kNote, word);
}

}  // namespace

void cmd_trace(Vorne& v, const qx::CommandLine&) { say_not_available(v, "TRACE"); }

void cmd_spec(Vorne& v, const qx::CommandLine&) { say_not_available(v, "SPEC"); }

}  // namespace vorne
