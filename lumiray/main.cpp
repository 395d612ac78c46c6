// lumiray: the ray-trace imaging program.
#include <string>

#include "options.h"
#include "qx/units.h"

int main(int argc, char** argv) {
  int status = 0;
  if (lumiray::handle_options(argc, argv, status)) return status;
  qx::TerminalOutput terminal;
  qx::KeyboardInput keyboard(terminal);
  terminal.put(" LUMIRAY - High Resolution Image Intensity Mapping\n             Version 2 (flux peaking)\n");
  std::string line;
  while (keyboard.read_line(line) == qx::ReadStatus::ok) {
    if (line.rfind("EXIT", 0) == 0 || line.rfind("exit", 0) == 0) break;
  }
  return 0;
}
