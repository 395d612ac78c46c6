// DUMP and MULE (LQDUMP): a text dump of rays becomes a ray file and the current data set.
#pragma once

#include <string>

#include "session/state.h"

namespace lumiray {

// The command; name is the dump file name as typed (may be blank).
void dump_command(Lumiray& s, const std::string& name);

}  // namespace lumiray
