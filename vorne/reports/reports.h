// Pieces shared by the result reports (THIRD, AB3, AB2, SMAT, SYSTEM, RUSS, EXCITE, CHROM,
// VECTOR, FISHK, CRAM). Each report's handler is declared in the header of its file; every
// report writes to the terminal.
//
//   aberration_reports.h   THIRD, AB3, AB2
//   system_reports.h       SMAT, SYSTEM, RUSS, VECTOR
//   excitation_reports.h   EXCITE, CHROM
//   correction_reports.h   FISHK, CRAM
//   element_reports.h      QUAD, OCTU, ... and the walk's part of the final run
//   sensitivity.h          PARASI, ROTN and DISP reports
//   cofout.h               COFOUT
//   listing.h              the final run's listing
#pragma once

#include <cstddef>

#include "qx/command.h"
#include "qx/format.h"
#include "session/state.h"

namespace vorne {

// One number read with the layout (Fw.0) from the command input after a prompt: the first
// `width` characters of the answer. An empty answer keeps `value` when keep_on_empty is set
// and reads as 0 otherwise (the fixed-field rule). A field that holds no number is refused
// with a message and the prompt is asked again (`prompt` with `shown` as its value, when
// given); end of input cancels. Inside a macro the value read is echoed list-directed.
struct FixedPrompt {
  const qx::Format& layout;   // the prompt, ending in "$"
  bool with_value;            // the layout shows the current value
  bool keep_on_empty;         // an empty answer keeps the current value
};
qx::Answer ask_fixed_real(Vorne& v, const FixedPrompt& prompt, std::size_t width, double& value);

}  // namespace vorne
