// Help files, shell commands and the time of day.
#pragma once

#include <string>
#include <string_view>

#include "qx/units.h"

namespace qx {

struct CommandLine;

// QXHELP: mode 1 lists the keywords of the help file, mode 0 shows every topic matching the
// keyword (6 characters). Answers to "Type RETURN for more..." are read from in.
void qxhelp(Input& in, Output& out, int mode, std::string_view file, std::string_view keyword);

// The HELP command of both programs. HELP [topic] shows the topic (default HELP), HELP/B lists
// the keywords, HELP/S name makes the name (its first 50 characters) the help file and shows
// that file's HELP topic. When no file of the current name exists, local_name in the current
// directory takes its place, or else built_name, the help file in the source tree the
// program was built from (a build that was never installed); the one found serves this and
// later calls. When none exists, the message names every place looked at. The installed
// file's path may be of any length.
void help_command(Input& in, Output& out, const CommandLine& line, std::string& help_file,
                  std::string_view local_name, std::string_view built_name);

// QXSHEL: runs the text (trailing blanks included) through system(); 0 on success,
// otherwise the value system() returned.
int qxshel(std::string_view text);

// QXTIME: the time of day "hh:mm:ss" from the shell's date command, or 8 blanks.
std::string qxtime();

}  // namespace qx
