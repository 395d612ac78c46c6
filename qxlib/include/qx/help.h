// Help files, shell commands and the time of day.
#pragma once

#include <string>
#include <string_view>

#include "qx/units.h"

namespace qx {

// QXHELP: mode 1 lists the keywords of the help file, mode 0 shows every topic matching the
// keyword (6 characters). Answers to "Type RETURN for more..." are read from in.
void qxhelp(Input& in, Output& out, int mode, std::string_view file, std::string_view keyword);

// QXSHEL: runs the text (trailing blanks included) through system(); 0 on success,
// otherwise the value system() returned.
int qxshel(std::string_view text);

// QXTIME: the time of day "hh:mm:ss" from the shell's date command, or 8 blanks.
std::string qxtime();

}  // namespace qx
