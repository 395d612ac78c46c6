// Placeholder until help, shell and time land.
#include "qx/help.h"

#include <cstdlib>

namespace qx {

void qxhelp(Input&, Output&, int, std::string_view, std::string_view) {}
int qxshel(std::string_view text) { return std::system(std::string(text).c_str()); }
std::string qxtime() { return std::string(8, ' '); }

}  // namespace qx
