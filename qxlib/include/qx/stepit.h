// STEPIT: derivative-free minimisation of a smooth function of up to 20 variables.
//
// Direct search: each active variable in turn is searched along its own axis (steps that
// grow by ACK while the value falls, closed by a parabola through the last three values);
// after NCOMP cycles, giant steps follow the accumulated direction of progress (or, when
// the directions oscillate, the line through an earlier point); when a whole round of
// one-variable searches brings nothing, every step is divided by RATIO, until all steps
// are below their minimum. Afterwards an error matrix can be estimated from second
// differences at the best point.
//
// Every trial point lies inside [xmin, xmax] of its variable, and a value that is NaN is
// never taken for an improvement.
#pragma once

#include <array>
#include <functional>
#include <span>

#include "qx/units.h"

namespace qx {

inline constexpr int kStepitMaxVariables = 20;
inline constexpr long kStepitDefaultNfmax = 50000;   // the count record has five digits

// The objective: the value at x (nv entries). jvary is the 1-based index of the single
// variable that differs from the previous evaluation, or 0 when several (or none known) do,
// so an objective can skip recomputing parts that depend only on unchanged variables.
using StepitObjective = std::function<double(std::span<const double> x, int jvary)>;

using StepitVector = std::array<double, kStepitMaxVariables>;

// What the caller hands STEPIT. Only the first nv entries of the arrays are used.
struct StepitSettings {
  int nv = 0;                                    // number of variables, 0..20
  StepitVector x{};                              // start point
  StepitVector xmax{};                           // upper bounds (xmax <= xmin: +-1.0E20)
  StepitVector xmin{};                           // lower bounds
  StepitVector deltax{};                         // initial steps (negligible: 0.01 x, or 0.01)
  StepitVector delmin{};                         // smallest steps (0: |deltax| / 2.0E8)
  std::array<int, kStepitMaxVariables> mask{};   // 0 = varied, nonzero = held fixed
  int ntrace = 0;                                // < 0 silent, 0 summary, > 0 full trace
  int matrx = 0;                                 // 50..150: error matrix, steps x 10**(matrx-100)
  long nfmax = kStepitDefaultNfmax;              // most objective evaluations the search may use
};

enum class StepitStatus {
  converged,       // every step fell to its minimum
  limit_reached,   // the search stopped after nfmax evaluations; x is the best point so far
  invalid_input    // nv out of range or a non-finite start value, bound or step; nothing done
};

// What STEPIT hands back.
struct StepitResult {
  StepitStatus status = StepitStatus::converged;
  StepitVector x{};        // best point evaluated (the start point when nothing was done)
  double fobj = 0.0;       // its value
  long nfunc = 0;          // evaluations of the search, the start included
  StepitVector steps{};    // the working steps at the end of the search
  // The error matrix, indexed by variable number (rows and columns of held variables stay
  // zero); all zero when it was not asked for or could not be computed.
  std::array<StepitVector, kStepitMaxVariables> err{};
  bool err_valid = false;  // true when err holds an error matrix
};

// Minimises f from s.x. Prints on out according to s.ntrace (nothing at all when it is
// negative, except the message for invalid input).
StepitResult stepit(const StepitSettings& s, const StepitObjective& f, Output& out);

}  // namespace qx
