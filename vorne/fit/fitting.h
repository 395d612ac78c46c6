// Pieces the fitting commands share: the quiet walks of a fit, one number answer and the
// message for a system without variable lenses.
//
//   ptf.cpp          P and PTF: group values and lens fields, in PTF's units
//   stig.cpp         S and STIG: the astigmatism and its fit
//   mask.cpp         MASK: variable and coefficient masks, the objective and its fit
//   agp.cpp          AGP: the objective on a grid of two variables, into a file
//   excitation.cpp   the excitation coefficients MASK and EXCITE use
#pragma once

#include <span>

#include "qx/command.h"
#include "qx/stepit.h"
#include "session/state.h"

namespace vorne {

// "No variable first order elements." on the terminal.
void say_no_groups(Vorne& v);

// The walks of a fit run with the warning switch off: the notes of MAG and FOCAL would
// otherwise repeat at every trial point between the fit's own trace lines.
class QuietWalks {
 public:
  explicit QuietWalks(Vorne& v) : v_(v), was_(v.warnings) { v.warnings = false; }
  ~QuietWalks() { v_.warnings = was_; }
  QuietWalks(const QuietWalks&) = delete;
  QuietWalks& operator=(const QuietWalks&) = delete;

 private:
  Vorne& v_;
  bool was_;
};

// STEPIT's settings for the fits: the start values, one smallest step for all, no trace of
// STEPIT's own and no error matrix.
qx::StepitSettings fit_settings(std::span<const double> start, double smallest_step);

// One number answer: empty keeps the value (and says so through `empty`).
qx::Answer read_number(Vorne& v, double& value, double& second, bool& empty);

}  // namespace vorne
