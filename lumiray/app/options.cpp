#include "app/options.h"

#include <cstdio>
#include <cstring>

namespace lumiray {

bool handle_options(int argc, char** argv, int& exit_status) {
  exit_status = 0;
  if (argc < 2) return false;
  if (std::strcmp(argv[1], "--version") == 0) {
    std::puts("LUMIRAY - Version 2 (flux peaking)");
    return true;
  }
  if (std::strcmp(argv[1], "--help") == 0) {
    std::puts("usage: lumiray [--help | --version]\n"
              "lumiray - ray-trace image intensity mapping.\n"
              "Commands are read from standard input, one per line; type MENU for the list of\n"
              "commands and HELP <command> for help on one of them.");
    return true;
  }
  std::fprintf(stderr, "lumiray: unknown option %s (try --help)\n", argv[1]);
  exit_status = 2;
  return true;
}

}  // namespace lumiray
