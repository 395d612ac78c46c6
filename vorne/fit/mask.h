// MASK: the variable mask (which table entries the fit moves) and the coefficient mask (which
// coefficients it drives to zero), the objective and its fit with STEPIT. AGP evaluates the
// same objective on a grid (agp.cpp).
#pragma once

#include <span>

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// The variables a variable mask defines, with the values they had when loaded.
struct FitVariables {
  struct Entry {
    int kind = 0;
    int row = 0;
    int column = 0;
    int variable = 0;    // 0-based index into the variable list
    int sign = 1;        // +1 moves with the leading entry, -1 against it
    double base = 0.0;   // value when loaded
  };
  std::array<Entry, kMaskRows> entries{};
  int entry_count = 0;
  int nv = 0;                                  // variables: distinct |link| in mask order
  std::array<double, kMaskRows> start{};       // each variable's value when loaded
};

// Variables of a mask (rows before the first with kind 0), their current values loaded.
FitVariables load_variables(const LensSystem& s, const Mask& variables);
// Puts the variable values x (nv of them) into the table: the leading entry of each variable
// takes its value, every other entry moves from its loaded value by the same change (with its
// sign). Values equal to those loaded give back the loaded table exactly.
void apply_variables(LensSystem& s, const FitVariables& vars, std::span<const double> x);

// Number of rows before the one that ends the mask.
int mask_length(const Mask& m);
// The number of variables of a variable mask (distinct |link|), without loading values.
int count_variables(const Mask& m);

// Reads a mask row by row at its prompt (variables, or coefficients when `coefficients`).
// False when input ended (the rows given so far stay).
bool read_mask(Vorne& v, Mask& mask, bool coefficients);

// ---- Objectives ---------------------------------------------------------------------------
// The MASK objective: applies x, walks as the coefficient mask needs and returns the square
// root of the sum of squares of the coefficients the mask selects. No counting, no printing.
double mask_objective(Vorne& v, const FitMasks& masks, const FitVariables& vars, std::span<const double> x);

// MASK's objective with its counter and trace (every fifth evaluation from the second on),
// for STEPIT and AGP's grid.
struct MaskRun {
  Vorne& v;
  const FitMasks& masks;
  const FitVariables& vars;
  long count = 0;

  double operator()(std::span<const double> x);
};

// Puts the variables back to their loaded values and refreshes the walk's results.
void restore_variables(Vorne& v, const FitVariables& vars);

void cmd_mask(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
