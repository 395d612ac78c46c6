// The graphics output destination with the terminal device as a parameter. The programs use
// qxdest and dest_command of session.h, which fall back to kTerminalDevice; tests name a
// writable stand-in, since a test run may have no terminal.
#pragma once

#include <string>
#include <string_view>

#include "qx/session.h"

namespace qx {

inline constexpr std::string_view kTerminalDevice = "/dev/tty";

// QXDEST with "*", a blank name and every fallback meaning `terminal`.
void qxdest(Session& s, std::string& name, std::string_view terminal);

// The DEST command with the same terminal device.
void dest_command(Session& s, Input& in, Output& out, bool echo, const CommandLine& line, std::string_view terminal);

}  // namespace qx
