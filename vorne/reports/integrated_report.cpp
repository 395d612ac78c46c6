// AB3/N, AB3/L and the integrated values of COFOUT/N.
#include "reports/integrated_report.h"

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "optics/integrated_map.h"
#include "optics/third_order.h"
#include "session/walks.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/text.h"
#include "reports/reports.h"

namespace vorne {

namespace {

constexpr double kMillimetre = 1e-3;
// The formula side of the chromatic lines: the change of the first-order system over this
// energy step (percent), small enough to be the derivative to the printed digits.
constexpr double kChromaticStep = 0.001;
// Chromatic terms as CHROM shows them: micrometre per milliradian per percent of momentum
// error (twice the percent of energy) from metres per radian per percent of energy.
constexpr double kChromaticScale = 2000.0;
// Units of coefficient j of the magnification-included sets (micrometre per milliradian
// powers) from metres per radian powers.
constexpr double kToReportUnits[10] = {1e-3, 1e-3, 1e-6, 1e-6, 1e-6, 1e-9, 1e-9, 1e-9, 1e-12, 1e-12};

// Labels of the ten coefficients per plane, main ones first as AB3 shows them.
constexpr const char* kLabels[2][10] = {
    {"  X/TH3   ", "  X/THPH2 ", "  X/XTH2  ", "  X/XPH2  ", "  X/THYPH ", "  X/X2TH  ", "  X/THY2  ", "  X/XYPH  ",
     "  X/X3    ", "  X/XY2   "},
    {"  Y/PH3   ", "  Y/TH2PH ", "  Y/YPH2  ", "  Y/TH2Y  ", "  Y/XTHPH ", "  Y/Y2PH  ", "  Y/X2PH  ", "  Y/XTHY  ",
     "  Y/Y3    ", "  Y/X2Y   "}};

// The first-order system's change per percent of energy, from two walks: the chromatic
// terms as changes (the rays (0, 1, 0, 1) and (1, 0, 1, 0), final x and y) and each element
// matrix's change, which the rows not integrated bring into the map. The system and the
// walk's results are put back.
struct EnergyStep {
  ChromaticTerms change;
  ElementMatrices per_percent;
};
EnergyStep energy_step(Vorne& v) {
  const LensSystem keep_system = v.sys;
  const WalkResult keep_walk = v.walk;
  v.sys.p(1, 12) *= 1.0 + kChromaticStep / 100.0;
  system_walk(v, 1, false);
  const WalkResult up = v.walk;
  v.sys = keep_system;
  system_walk(v, 1, false);
  const WalkResult& nominal = v.walk;
  EnergyStep e;
  auto change = [&](int i, int j, int k) {
    return (up.s(i, j) + up.s(i, k) - nominal.s(i, j) - nominal.s(i, k)) / kChromaticStep;
  };
  e.change = {change(1, 2, 4), change(3, 2, 4), change(1, 1, 3), change(3, 1, 3)};
  for (std::size_t r = 0; r < e.per_percent.size(); ++r)
    for (std::size_t k = 0; k < e.per_percent[r].v.size(); ++k)
      e.per_percent[r].v[k] = (up.element_matrix[r].v[k] - nominal.element_matrix[r].v[k]) / kChromaticStep;
  v.sys = keep_system;
  v.walk = keep_walk;
  return e;
}

// The integrated map at the fringe length set, with its notes; nothing (after a message)
// when there is none. `who` names the command in the messages.
std::optional<MapOutcome> report_map(Vorne& v, const char* who, const EnergyStep& step) {
  // Why there is no map: the message, and whether it names the row at fault.
  struct Failure {
    MapStatus status;
    qx::Format message;
    bool row;
  };
  static const Failure kFailures[] = {
      {MapStatus::no_system, qx::Format{"(1H ,'?',A,'- No System End: no integrated map.')"}, false},
      {MapStatus::bad_fringe, qx::Format{"(1H ,'?',A,'- Fringe length must be from 0 to 100 mm: no integrated map.')"},
       false},
      {MapStatus::bad_length, qx::Format{"(1H ,'?',A,'- Length of row ',I2,' is negative: no integrated map.')"}, true},
      {MapStatus::zero_bore, qx::Format{"(1H ,'?',A,'- Bore radius of row ',I2,' is not positive: no integrated map.')"},
       true},
      {MapStatus::no_energy, qx::Format{"(1H ,'?',A,'- The particle has no momentum: no integrated map.')"}, false},
      {MapStatus::step_failure,
       qx::Format{"(1H ,'?',A,'- Integration failed in the field of row ',I2,': no integrated map.')"}, true},
      {MapStatus::not_finite, qx::Format{"(1H ,'?',A,'- Integrated map not finite: no integrated map.')"}, false}};
  MapSettings settings;
  settings.fringe = v.fringe;
  settings.idiag = v.idiag;
  const MapOutcome m = integrated_map(v.sys, v.walk.element_matrix, settings, &step.per_percent);
  for (const Failure& f : kFailures) {
    if (f.status != m.status) continue;
    if (f.row)
      v.term.write(f.message, who, m.row);
    else
      v.term.write(f.message, who);
    return std::nullopt;
  }
  if (!m.formula_rows.empty()) {
    std::vector<qx::FormatArg> args{who};
    for (const int row : m.formula_rows) args.emplace_back(row);
    static const qx::Format kFormula{"(1H ,'%',A,'- Rows at first order with their formula aberrations:',20(1X,I2))"};
    v.term.put(kFormula.render(args));
  }
  static const qx::Format kNoLimit{
      "(1H ,'%',A,'- Solenoid in row ',I2,' has no hard-edge limit: formula terms (AB3/L sets a fringe).')"};
  for (const int row : m.no_limit_rows) v.term.write(kNoLimit, who, row);
  static const qx::Format kNoLength{"(1H ,'%',A,'- Lens in row ',I2,' has no length: it has no effect.')"};
  for (const int row : m.zero_length_rows) v.term.write(kNoLength, who, row);
  static const qx::Format kLongFringe{
      "(1H ,'%',A,'- Lens in row ',I2,' is shorter than 4 fringe lengths: its field never reaches full value.')"};
  for (const int row : m.long_fringe_rows) v.term.write(kLongFringe, who, row);
  return m;
}

// The same from the map: the delta parts of the first-order terms.
ChromaticTerms map_chromatic(const PhaseMap& m) {
  auto d = [&m](int i, int j, int k) {
    qx::Tps::Exponents a{};
    qx::Tps::Exponents b{};
    a[static_cast<std::size_t>(j - 1)] = b[static_cast<std::size_t>(k - 1)] = 1;
    a[qx::Tps::delta] = b[qx::Tps::delta] = 1;
    return map_coefficient(m, i, a) + map_coefficient(m, i, b);
  };
  return {d(1, 2, 4), d(3, 2, 4), d(1, 1, 3), d(3, 1, 3)};
}

void write_row(Vorne& v, const char* label, double integrated, double formula, bool scientific) {
  if (formula == 0.0) {
    static const qx::Format kRowNoRatio{"(1H ,4X,A,2(1X,0P,F13.5),'         -')"};
    static const qx::Format kSciRowNoRatio{"(1H ,4X,A,2(1X,1P,G13.5),'         -')"};
    v.term.write(scientific ? kSciRowNoRatio : kRowNoRatio, label, integrated, formula);
    return;
  }
  const double percent = 100.0 * (integrated - formula) / formula;
  static const qx::Format kRow{"(1H ,4X,A,2(1X,0P,F13.5),1X,0P,F9.2,' %')"};
  static const qx::Format kSciRow{"(1H ,4X,A,2(1X,1P,G13.5),1X,0P,F9.2,' %')"};
  v.term.write(scientific ? kSciRow : kRow, label, integrated, formula, percent);
}

}  // namespace

void ab3_fringe(Vorne& v, const qx::CommandLine& line) {
  const std::string_view right = qx::trim_right(line.typed_arg);
  const std::size_t first = right.find_first_not_of(' ');
  const std::string_view typed = first == std::string_view::npos ? std::string_view{} : right.substr(first);
  const std::optional<double> value = typed.empty() ? std::optional<double>(0.0) : qx::read_fixed_real(typed);
  const double metres = value ? *value * kMillimetre : -1.0;
  if (!value || !std::isfinite(metres) || metres < 0.0 || metres > kMaxFringe) {
    static const qx::Format kBad{"(1H ,'?AB3- Fringe length must be from 0 to ',F5.1,' mm; it stays ',F8.3,' mm.')"};
    v.term.write(kBad, kMaxFringe / kMillimetre, v.fringe / kMillimetre);
    return;
  }
  v.fringe = metres;
  static const qx::Format kHardEdge{"(1H ,'%AB3- Fringe length 0: AB3/N and COFOUT/N use the hard-edge limit.')"};
  static const qx::Format kSet{"(1H ,'%AB3- Fringe length ',F8.3,' mm for AB3/N and COFOUT/N.')"};
  if (metres == 0.0)
    v.term.write(kHardEdge);
  else
    v.term.write(kSet, metres / kMillimetre);
}

void ab3_integrated(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  system_walk(v, -3);
  if (!v.walk.ended) return;
  const EnergyStep step = energy_step(v);
  const std::optional<MapOutcome> m = report_map(v, "AB3", step);
  if (!m) return;
  const ThirdOrderSet formula = magnification_included(v.walk.total, mag(v, v.sys.izend));
  std::array<std::array<double, 10>, 2> integrated{};
  for (int plane = 1; plane <= 2; ++plane) {
    const std::array<double, 10> c = third_order_coefficients(m->map, plane);
    for (std::size_t j = 0; j < c.size(); ++j) integrated[static_cast<std::size_t>(plane - 1)][j] = c[j] * kToReportUnits[j];
  }
  static const qx::Format kHeading{"(1H ,/,1H ,'Third order coefficients defined for object',' plane divergences.')"};
  v.term.write(kHeading);
  static const qx::Format kHardEdge{"(1H ,'Integrated through the lens fields at the hard-edge limit.',/)"};
  static const qx::Format kFringe{"(1H ,'Integrated through the lens fields, fringe length ',F8.3,' mm.',/)"};
  if (v.fringe == 0.0)
    v.term.write(kHardEdge);
  else
    v.term.write(kFringe, v.fringe / kMillimetre);
  static const qx::Format kHeadings{"(1H ,5X,'Coeff',10X,'Integrated',7X,'Formula',2X,'Difference')"};
  v.term.write(kHeadings);
  const bool all = line.arg_letter() == 'A';
  for (const int first : {1, 3}) {   // the main coefficients, then (A) the remaining ones
    if (first == 3 && !all) break;
    for (int plane = 1; plane <= 2; ++plane)
      for (int j = first; j <= (first == 1 ? 2 : 10); ++j)
        write_row(v, kLabels[plane - 1][j - 1], integrated[static_cast<std::size_t>(plane - 1)][static_cast<std::size_t>(j - 1)],
                  formula(plane, j), false);
  }
  static const qx::Format kUnits{"(1H ,7X,' Units: micron/milliradian3',/)"};
  v.term.write(kUnits);
  const ChromaticTerms ci = map_chromatic(m->map);
  const ChromaticTerms& cf = step.change;
  write_row(v, "  X/THDM  ", ci.xt * kChromaticScale, cf.xt * kChromaticScale, true);
  write_row(v, "  Y/PHDM  ", ci.yp * kChromaticScale, cf.yp * kChromaticScale, true);
  static const qx::Format kChromaticUnits{"(1H ,7X,' Units: micron/milliradian/% momentum error',/)"};
  v.term.write(kChromaticUnits);
}

bool integrated_coefficients(Vorne& v, CoefficientValues& c) {
  const std::optional<MapOutcome> m = report_map(v, "COFOUT", energy_step(v));
  if (!m) return false;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) {
      qx::Tps::Exponents e{};
      e[static_cast<std::size_t>(j - 1)] = 1;
      c.first(i, j) = map_coefficient(m->map, i, e);
    }
  // Second order: x^2, x theta, x y, x phi, theta^2, theta y, theta phi, y^2, y phi, phi^2.
  for (std::size_t i = 0; i < 4; ++i) {
    std::size_t k = 0;
    for (std::size_t a = 0; a < 4; ++a)
      for (std::size_t b = a; b < 4; ++b) {
        qx::Tps::Exponents e{};
        ++e[a];
        ++e[b];
        c.second[i][k++] = map_coefficient(m->map, static_cast<int>(i) + 1, e);
      }
  }
  for (int plane = 1; plane <= 2; ++plane)
    c.third[static_cast<std::size_t>(plane - 1)] = third_order_coefficients(m->map, plane);
  c.chromatic = map_chromatic(m->map);
  static const qx::Format kNote{
      "(1H ,'%COFOUT- Integrated map written; its chromatic terms are changes per % of energy.')"};
  v.term.write(kNote);
  return true;
}

}  // namespace vorne
