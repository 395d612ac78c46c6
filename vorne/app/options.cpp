#include "app/options.h"

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
              "\n"
              "vorne - lens-system design program for probe-forming ion-optical systems.\n"
              "Commands are read from standard input, one per line (the first 40 characters\n"
              "count); at a terminal the prompt offers line editing and history.\n"
              "\n"
              "  DATA name     load the system data file name.vrn\n"
              "  SAVE name     save the system to name.vrn\n"
              "  MENU          list all commands\n"
              "  HELP command  help on a command (help file: " VORNE_HELP_PATH ",\n"
              "                or vorne.hlp in the current directory, or in the\n"
              "                help folder of the source tree it was built from)\n"
              "  @name         run the command macro name.vcm\n"
              "  EXIT [n]      leave (1-9: after writing the listing name.lpt)\n"
              "\n"
              "A file login.vcm in the current directory is run as a macro at start-up.\n"
              "  --help        show this text and exit\n"
              "  --version     show the version and exit");
    return true;
  }
  std::fprintf(stderr, "vorne: unknown option %s (try --help)\n", argv[1]);
  exit_status = 2;
  return true;
}

}  // namespace vorne
