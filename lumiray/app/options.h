// Command-line options of the program itself (--help, --version).
#pragma once

namespace lumiray {

// Handles --help and --version. Returns true when the program should end at once;
// exit_status then holds its status (2 for an unknown option).
bool handle_options(int argc, char** argv, int& exit_status);

}  // namespace lumiray
