// lumiray: the ray-trace imaging program.
#include <memory>

#include "commands.h"
#include "options.h"
#include "qx/units.h"
#include "state.h"

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
