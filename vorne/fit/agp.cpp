#include "fit/agp.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fit/fitting.h"
#include "fit/mask.h"
#include "qx/format.h"
#include "qx/numeric.h"
#include "session/dialogue.h"

namespace vorne {

namespace {

constexpr int kMaxGrid = 1000;               // AGP: at most this many steps per axis
constexpr std::size_t kGridFileField = 30;   // AGP's file name is read as A30
constexpr int kPointsNote = 100;             // AGP: a note every 100 points

// Asks for the range of one variable until two different numbers are given. False on end.
bool read_range(Vorne& v, int k, double centre, double& low, double& high) {
  for (;;) {
    static const qx::Format kAsk{
        "(1H ,'Central value of variable ',I1,' is ',1P,G13.5,/,1H ,'Minimun and maximum values > ',$)"};
    v.term.write(kAsk, k, centre);
    low = high = centre;
    bool empty = false;
    const qx::Answer a = read_number(v, low, high, empty);
    if (a == qx::Answer::end) return false;
    if (a != qx::Answer::accepted) continue;
    if (low == high) {
      static const qx::Format kEqual{"(1H ,'?AGP- Minimum and maximum must differ.')"};
      v.term.write(kEqual);
      continue;
    }
    return true;
  }
}

// The grid of AGP: steps per axis as typed (the step is the range over it) and the whole
// number of them (points per axis one more).
struct Grid {
  double n = 0.0;
  double m = 0.0;
  int steps_x = 0;
  int steps_y = 0;
};

// Asks for the grid size. False on end.
bool read_grid(Vorne& v, Grid& grid) {
  constexpr double kDefaultGrid = 30.0;
  for (;;) {
    static const qx::Format kAsk{"(1H ,'Size of grid (NxM) > ',$)"};
    v.term.write(kAsk);
    double a = 0.0;
    double b = 0.0;
    bool empty = false;
    const qx::Answer ans = read_number(v, a, b, empty);
    if (ans == qx::Answer::end) return false;
    if (ans != qx::Answer::accepted) continue;
    if (a <= 0.0) a = kDefaultGrid;
    if (b <= 0.0) b = a;
    const std::optional<std::int64_t> na = qx::int_part(a, 0, kMaxGrid);
    const std::optional<std::int64_t> nb = qx::int_part(b, 0, kMaxGrid);
    if (!na || !nb) {
      static const qx::Format kTooLarge{"(1H ,'?AGP- At most ',I4,' steps per axis.')"};
      v.term.write(kTooLarge, kMaxGrid);
      continue;
    }
    grid = Grid{a, b, static_cast<int>(*na), static_cast<int>(*nb)};
    return true;
  }
}

}  // namespace

void cmd_agp(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  FitMasks& masks = v.masks;
  static const qx::Format kConstruct{"(1H ,'Construct an AGP file')"};
  v.term.write(kConstruct);
  static const qx::Format kEnterVariables{"(1H ,'Enter the variable mask')"};
  v.term.write(kEnterVariables);
  if (!read_mask(v, masks.variables, false)) return;
  const int nv = count_variables(masks.variables);
  static const qx::Format kOnlyTwo{"(1H ,' This command works only for 2 variables,',/,1H ,' No. of variables = ',I2)"};
  v.term.write(kOnlyTwo, nv);
  if (nv != 2) return;
  static const qx::Format kEnterCoefficients{"(1H ,'Enter the coefficient mask')"};
  v.term.write(kEnterCoefficients);
  if (!read_mask(v, masks.coefficients, true)) return;
  const FitVariables vars = load_variables(v.sys, masks.variables);

  std::array<double, 2> low{}, high{};
  for (int k = 0; k < 2; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    if (!read_range(v, k + 1, vars.start[i], low[i], high[i])) return;
  }
  Grid grid;
  if (!read_grid(v, grid)) return;
  std::string name;
  if (ask_output_name(v, kGridFileField, name) != qx::Answer::accepted || name.empty()) return;
  std::unique_ptr<qx::FileOutput> file = qx::FileOutput::open(name, qx::FileOutput::Mode::create_new, 2);
  if (!file) {
    say_unable_to_open(v, name);
    return;
  }

  static const qx::Format kHeader{"(1H ,A,/,1H ,'X',/,1H ,'Y')"};
  file->write(kHeader, v.sys.title);
  // Grid points at min + i x step: no sums that drift, and the last point is the maximum.
  const double dx = (high[0] - low[0]) / grid.n;
  const double dy = (high[1] - low[1]) / grid.m;
  MaskRun run{v, masks, vars};
  const QuietWalks quiet(v);
  long points = 0;
  for (int j = 0; j <= grid.steps_y; ++j) {
    for (int i = 0; i <= grid.steps_x; ++i) {
      const std::array<double, 2> x{low[0] + i * dx, low[1] + j * dy};
      const double value = run(x);
      static const qx::Format kPoint{"(1H ,2(1P,G13.5,' , '),1P,G13.5)"};
      file->write(kPoint, x[0], x[1], value);
      static const qx::Format kProgress{"(1H ,I5,' points generated.')"};
      if (++points % kPointsNote == 0) v.term.write(kProgress, points);
    }
  }
  const bool written = file->commit();
  file.reset();
  if (!written) say_unable_to_open(v, name);
  static const qx::Format kTotal{"(1H ,/,/,1H ,I5,' points generated total.',/,/)"};
  v.term.write(kTotal, points);
  restore_variables(v, vars);
}

}  // namespace vorne
