#include "options.h"

#include <cstdio>
#include <cstring>

namespace vorne {

bool handle_options(int argc, char** argv, int& exit_status) {
  exit_status = 0;
  if (argc < 2) return false;
  if (std::strcmp(argv[1], "--version") == 0) {
    std::puts("Program VORNE - Version 8.2");
    return true;
  }
  if (std::strcmp(argv[1], "--help") == 0) {
    std::puts("usage: vorne [--help | --version]\n"
              "vorne - lens-system design program.\n"
              "Commands are read from standard input, one per line; type MENU for the list of\n"
              "commands and HELP <command> for help on one of them.");
    return true;
  }
  std::fprintf(stderr, "vorne: unknown option %s (try --help)\n", argv[1]);
  exit_status = 2;
  return true;
}

}  // namespace vorne
