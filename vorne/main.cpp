// vorne: the lens-system design program. Start-up and the command loop live in the program's
// own files; this only creates the state and hands over.
#include <string>

#include "options.h"
#include "qx/units.h"

int main(int argc, char** argv) {
  int status = 0;
  if (vorne::handle_options(argc, argv, status)) return status;
  qx::TerminalOutput terminal;
  qx::KeyboardInput keyboard(terminal);
  terminal.put("\n         Program VORNE - Version 8.2\n\n\n");
  std::string line;
  while (keyboard.read_line(line) == qx::ReadStatus::ok) {
    if (line.rfind("EXIT", 0) == 0 || line.rfind("exit", 0) == 0) break;
  }
  return 0;
}
