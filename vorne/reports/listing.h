// The final run's listing.
#pragma once

#include <string_view>

#include "session/state.h"

namespace vorne {

inline constexpr std::string_view kListingExtension = ".lpt";

// The final run: the listing file "<current name>.lpt" (or the terminal, named "CONSOLE", when
// it cannot be created) with header, element lines, total length, diagnostic level and the
// walk's reports. The caller ends the program afterwards.
void final_run(Vorne& v);

}  // namespace vorne
