// vorne: the lens-system design program. main() creates the program's one state object and
// hands it to the command loop.
#include <memory>

#include "app/loop.h"
#include "app/options.h"
#include "qx/units.h"
#include "session/state.h"

int main(int argc, char** argv) {
  int status = 0;
  if (vorne::handle_options(argc, argv, status)) return status;
  qx::TerminalOutput terminal;
  vorne::Vorne v(terminal, std::make_unique<qx::KeyboardInput>(terminal));
  vorne::start_up(v);
  vorne::command_loop(v);
  return 0;
}
