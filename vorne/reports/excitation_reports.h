// EXCITE and CHROM: the excitation and chromatic coefficients.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// EXCITE and CHROM (the word tells which).
void cmd_excite(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
