// lumiray: the ray-trace imaging program.
//
// Each folder is a layer and includes only its own and lower ones:
//   io (dialogue, coefficient file, ray files, LQIO) < generate (ray map, FAKE's generator)
//   < session (the state object) < analysis (the ray-set commands) < app (command table,
//   options, registers, FAKE's dialogue).
#include <memory>

#include "app/commands.h"
#include "app/options.h"
#include "qx/units.h"
#include "session/state.h"

int main(int argc, char** argv) {
  int status = 0;
  if (lumiray::handle_options(argc, argv, status)) return status;
  qx::TerminalOutput terminal;
  auto keyboard = std::make_unique<qx::KeyboardInput>(terminal);
  lumiray::Lumiray state(terminal, std::move(keyboard));
  lumiray::start_up(state);
  lumiray::run(state);
  return 0;
}
