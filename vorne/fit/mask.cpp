#include "fit/mask.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "fit/excitation.h"
#include "fit/fitting.h"
#include "session/walks.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/stepit.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr double kMaskTolerance = 1.0E-6;    // MASK's default smallest step
constexpr int kMaskTraceEvery = 5;           // MASK traces evaluations 2, 7, 12, ...
constexpr int kMaskTraceAt = 2;
constexpr double kFitPerturbation = 0.005;   // percent, for MASK's chromatic and excitation terms
constexpr int kMaxLink = 9;                  // links are typed as I2: -9..9 show
constexpr int kMaxKind = 99;
constexpr int kMatrixTerms = 8;              // class 1: terms per plane
constexpr int kThirdOrderTerms = 10;
constexpr int kSecondOrderTerms = 10;
constexpr int kChromaticTerms = 2;
constexpr int kClasses = 9;

// Coefficient classes.
enum CoefficientClass : int {
  kFirstOrderMatrix = 1,
  kChromatic = 2,
  kLensExcitation = 3,
  kGroupExcitation = 4,
  kOctupoleExcitation = 5,
  kSecondOrder = 6,
  kThirdOrderTotal = 7,
  kThirdOrderQuad = 8,
  kThirdOrderOctu = 9,
};

// ---- Masks ------------------------------------------------------------------------------------

int abs_sum(const MaskRow& r) { return std::abs(r[0]) + std::abs(r[1]) + std::abs(r[2]) + std::abs(r[3]); }

bool valid_variable_row(const LensSystem& s, const MaskRow& r) {
  const int kind = r[0], row = r[1], column = r[2], link = r[3];
  if (kind < 1 || kind > kMaxKind || kind == 3 || kind == 4) return false;
  if (row < 1 || row > s.izend) return false;
  if (link == 0 || std::abs(link) > kMaxLink) return false;
  if (kind == 2) return column == 1;            // the rotation of the row
  return column >= 2 && column <= kColumns;     // never the packed type code
}

// How many coefficients a class offers in the current system.
int class_size(const LensSystem& s, int cls) {
  int n = 0;
  switch (cls) {
    case kFirstOrderMatrix: return kMatrixTerms;
    case kChromatic: return kChromaticTerms;
    case kLensExcitation:
    case kOctupoleExcitation:
      for (int iz = kFirstElementRow; iz <= s.izend; ++iz) {
        const TypeCode t = s.type_at(iz);
        if (t.polarity == 0 || t.type == kDipole) continue;
        if ((t.type == kOctupole) == (cls == kOctupoleExcitation)) ++n;
      }
      return n;
    case kGroupExcitation: {
      LensSystem copy = s;
      qx::StringOutput quiet;
      return collect_groups(copy, quiet);
    }
    case kSecondOrder: return kSecondOrderTerms;
    default: return kThirdOrderTerms;
  }
}

bool valid_coefficient_row(const LensSystem& s, const MaskRow& r) {
  const int cls = r[0], plane = r[1], c1 = r[2], c2 = r[3];
  if (cls < 1 || cls > kClasses || plane < 1 || plane > 2) return false;
  const int size = class_size(s, cls);
  if (c1 < 1 || c1 > size) return false;
  return c2 == 0 || (c2 >= 1 && c2 <= size);
}

double& entry_value(LensSystem& s, const FitVariables::Entry& e) {
  return e.kind == 2 ? s.rotation(e.row) : s.p(e.row, e.column);
}

bool needs(const Mask& coefficients, std::initializer_list<int> classes) {
  for (int i = 0; i < mask_length(coefficients); ++i)
    for (const int c : classes)
      if (coefficients[static_cast<std::size_t>(i)][0] == c) return true;
  return false;
}

double coefficient(const Vorne& v, const ExcitationCoefficients& e, int cls, int plane, int c) {
  const WalkResult& w = v.walk;
  const std::size_t p = static_cast<std::size_t>(plane - 1);
  const std::size_t k = static_cast<std::size_t>(c - 1);
  switch (cls) {
    case kFirstOrderMatrix: {
      // Plane 1: (x|x) (x|th) (th|x) (th|th), then the coupling terms (x|y) (x|ph) (th|y)
      // (th|ph); plane 2 the same with the planes exchanged.
      const int own = plane == 1 ? 0 : 2;
      const int other = plane == 1 ? 2 : 0;
      const int i = own + 1 + static_cast<int>(k % 4) / 2;
      const int j = (k < 4 ? own : other) + 1 + static_cast<int>(k % 2);
      return w.s(i, j);
    }
    case kChromatic:
      if (plane == 1) return c == 1 ? w.chromatic.xt : w.chromatic.xx;
      return c == 1 ? w.chromatic.yp : w.chromatic.yy;
    case kLensExcitation: return k < static_cast<std::size_t>(e.lenses) ? e.lens[k][p] : 0.0;
    case kGroupExcitation: return k < static_cast<std::size_t>(e.groups) ? e.group[k][p] : 0.0;
    case kOctupoleExcitation: return k < static_cast<std::size_t>(e.octupoles) ? e.octupole[k][p] : 0.0;
    case kSecondOrder: return w.s2(plane == 1 ? 1 : 3, 4 + c);
    case kThirdOrderTotal: return w.total(plane, c);
    case kThirdOrderQuad: return w.quad(plane, c);
    default: return w.octu(plane, c);
  }
}

// The walk the coefficient mask needs: third order for the third-order classes, the
// second-order map for class 6, first order otherwise.
int walk_mode(const Mask& coefficients) {
  const bool third = needs(coefficients, {kOctupoleExcitation, kThirdOrderTotal, kThirdOrderQuad, kThirdOrderOctu});
  const bool second = needs(coefficients, {kSecondOrder});
  if (third) return second ? 3 : -3;
  return second ? 2 : 1;
}


std::span<const double> start_values(const FitVariables& vars) {
  return std::span<const double>(vars.start.data(), static_cast<std::size_t>(vars.nv));
}

// MASK from the start value on: the initial sum, and unless only evaluating, the fit and
// the final sum at the best point (which is left applied).
void run_mask_fit(Vorne& v, bool evaluate_only) {
  const FitMasks& masks = v.masks;
  const FitVariables vars = load_variables(v.sys, masks.variables);
  static const qx::Format kInitial{"(1H ,'Initial quadrature summed coeff = ',1P,G13.5,/,/)"};
  v.term.write(kInitial, mask_objective(v, masks, vars, start_values(vars)));
  if (vars.nv < 1 || evaluate_only) return;
  static const qx::Format kHeading{"(1H ,'(N)  CHISQ        - Variables.........')"};
  v.term.write(kHeading);
  const qx::StepitSettings settings = fit_settings(start_values(vars), masks.tolerance);
  MaskRun run{v, masks, vars};
  const qx::StepitResult result =
      qx::stepit(settings, [&run](std::span<const double> x, int) { return run(x); }, v.term);
  const std::span<const double> best(result.x.data(), static_cast<std::size_t>(vars.nv));
  static const qx::Format kFinal{"(1H ,'  Final quadrature summed coeff = ',1P,G13.5)"};
  v.term.write(kFinal, mask_objective(v, masks, vars, best));
}

}  // namespace

// Number of rows before the one that ends the mask.
int mask_length(const Mask& m) {
  int n = 0;
  while (n < kMaskRows && m[static_cast<std::size_t>(n)][0] != 0) ++n;
  return n;
}

// The variable list and count of a variable mask, without loading values.
int count_variables(const Mask& m) {
  std::array<int, kMaskRows> seen{};
  int n = 0;
  for (int i = 0; i < mask_length(m); ++i) {
    const int link = std::abs(m[static_cast<std::size_t>(i)][3]);
    if (std::find(seen.begin(), seen.begin() + n, link) == seen.begin() + n) seen[static_cast<std::size_t>(n++)] = link;
  }
  return n;
}

// Reads a mask row by row. False when input ended (the rows given so far stay).
bool read_mask(Vorne& v, Mask& mask, bool coefficients) {
  for (MaskRow& row : mask) {
    for (;;) {
      static const qx::Format kAsk{"(1H ,2X,4(I2,2X),2X,' > ',$)"};
      v.term.write(kAsk, row[0], row[1], row[2], row[3]);
      std::array<int, 4> typed{};
      const qx::ReadStatus st = qx::read_ints(v.in(), typed);
      if (st == qx::ReadStatus::eof) return false;
      if (st == qx::ReadStatus::error) {
        if (v.echo()) v.term.list("?");
        continue;
      }
      if (v.echo()) v.term.list(typed[0], typed[1], typed[2], typed[3]);
      MaskRow merged = row;
      for (std::size_t j = 0; j < 4; ++j)
        if (typed[j] != 0) merged[j] = typed[j];
      if (abs_sum(typed) == 1) merged[0] = 0;
      if (merged[0] != 0) {
        const bool ok = coefficients ? valid_coefficient_row(v.sys, merged) : valid_variable_row(v.sys, merged);
        if (!ok) {
          static const qx::Format kBadVariable{
              "(1H ,'?MASK- Not a variable: kind 1, 2 (rotation, column 1) or 5 and up, row 1 to ',I2,"
              "', column 2 to 12, link -9 to 9 and not 0.')"};
          static const qx::Format kBadCoefficient{
              "(1H ,'?MASK- Not a coefficient: class 1 to 9, plane 1 or 2, numbers the class has.')"};
          if (coefficients)
            v.term.write(kBadCoefficient);
          else
            v.term.write(kBadVariable, v.sys.izend);
          continue;
        }
      }
      row = merged;
      break;
    }
    if (row[0] == 0) break;
  }
  for (int i = 0; i < mask_length(mask); ++i) {
    const MaskRow& r = mask[static_cast<std::size_t>(i)];
    static const qx::Format kFinal{"(1H ,20X,4(3X,I2))"};
    v.term.write(kFinal, r[0], r[1], r[2], r[3]);
  }
  return true;
}

// ---- Variables ----------------------------------------------------------------------------------

FitVariables load_variables(const LensSystem& s, const Mask& variables) {
  FitVariables vars;
  std::array<int, kMaskRows> links{};
  std::array<int, kMaskRows> leading_sign{};
  for (int i = 0; i < mask_length(variables); ++i) {
    const MaskRow& r = variables[static_cast<std::size_t>(i)];
    FitVariables::Entry e;
    e.kind = r[0];
    e.row = r[1];
    e.column = r[2];
    const int link = std::abs(r[3]);
    const int sign = r[3] < 0 ? -1 : 1;
    const auto end = links.begin() + vars.nv;
    const auto found = std::find(links.begin(), end, link);
    e.base = e.kind == 2 ? s.rotation(e.row) : s.p(e.row, e.column);
    if (found == end) {
      e.variable = vars.nv;
      links[static_cast<std::size_t>(vars.nv)] = link;
      leading_sign[static_cast<std::size_t>(vars.nv)] = sign;
      vars.start[static_cast<std::size_t>(vars.nv)] = e.base;
      ++vars.nv;
      e.sign = 1;
    } else {
      e.variable = static_cast<int>(found - links.begin());
      e.sign = sign * leading_sign[static_cast<std::size_t>(e.variable)];
    }
    vars.entries[static_cast<std::size_t>(vars.entry_count++)] = e;
  }
  return vars;
}

void apply_variables(LensSystem& s, const FitVariables& vars, std::span<const double> x) {
  std::array<bool, kMaskRows> led{};
  for (int i = 0; i < vars.entry_count; ++i) {
    const FitVariables::Entry& e = vars.entries[static_cast<std::size_t>(i)];
    const std::size_t k = static_cast<std::size_t>(e.variable);
    if (!led[k]) {
      entry_value(s, e) = x[k];
      led[k] = true;
    } else {
      entry_value(s, e) = e.base + e.sign * (x[k] - vars.start[k]);
    }
  }
}

// ---- MASK objective -----------------------------------------------------------------------------

double mask_objective(Vorne& v, const FitMasks& masks, const FitVariables& vars, std::span<const double> x) {
  apply_variables(v.sys, vars, x);
  const Mask& cm = masks.coefficients;
  ExcitationCoefficients e;
  if (needs(cm, {kLensExcitation, kGroupExcitation, kOctupoleExcitation}))
    e = excitation_coefficients(v, kFitPerturbation);
  if (needs(cm, {kChromatic})) {
    // The run's own walks would trace at a positive level, at every trial point.
    const int level = v.idiag;
    v.idiag = std::min(level, kQuietLevel);
    chromatic_run(v, kFitPerturbation);
    v.idiag = level;
  }
  system_walk(v, walk_mode(cm), false);
  double sum = 0.0;
  for (int i = 0; i < mask_length(cm); ++i) {
    const MaskRow& r = cm[static_cast<std::size_t>(i)];
    for (const int c : {r[2], r[3]}) {
      if (c == 0) continue;
      const double value = coefficient(v, e, r[0], r[1], c);
      sum += value * value;
    }
  }
  return std::sqrt(sum);
}

double MaskRun::operator()(std::span<const double> x) {
  const double value = mask_objective(v, masks, vars, x);
  ++count;
  if (count % kMaskTraceEvery == kMaskTraceAt) {
    std::vector<qx::FormatArg> args{count};
    for (int i = 0; i < vars.nv; ++i) args.emplace_back(x[static_cast<std::size_t>(i)]);
    args.emplace_back(value);
    static const qx::Format kTrace{"(1H ,I5,'  ',5(1P,G13.5,' '))"};
    v.term.put(kTrace.render(args));
  }
  return value;
}

// Puts the variables back to their loaded values and refreshes the walk's results.
void restore_variables(Vorne& v, const FitVariables& vars) {
  apply_variables(v.sys, vars, start_values(vars));
  system_walk(v, 1, false);
}

void cmd_mask(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  FitMasks& masks = v.masks;
  if (line.option != 'F') {
    static const qx::Format kEnterVariables{"(1H ,'Enter the variable mask')"};
    v.term.write(kEnterVariables);
    if (!read_mask(v, masks.variables, false)) return;
    static const qx::Format kCount{"(1H ,20X,'No. of variables = ',I2,/,/,1H ,'Enter the coefficient mask')"};
    v.term.write(kCount, count_variables(masks.variables));
    if (!read_mask(v, masks.coefficients, true)) return;
    masks.tolerance = line.number > 0.0 ? line.number : kMaskTolerance;
  }
  {
    const QuietWalks quiet(v);
    run_mask_fit(v, line.arg_letter() == 'V');
  }
  v.warnings = true;
}

}  // namespace vorne
