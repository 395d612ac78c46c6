// EXCITE and CHROM: how far the image of a ray moves when the lens excitations (a power
// supply error) or the particle momentum change by a given percentage. Both perturb the
// system to measure it and put back the element table and the walk's results exactly.
#include "reports/excitation_reports.h"

#include <string_view>
#include <vector>

#include "fit/excitation.h"
#include "optics/snapshot.h"
#include "session/walks.h"
#include "reports/reports.h"

namespace vorne {

namespace {

constexpr double kDefaultPerturbation = 0.5;   // percent, for a perturbation of 0
constexpr std::size_t kPerturbationField = 12; // "Perturbation > " is read as F12.0
constexpr int kPercentUnit = 1;                // unit 1 shows coefficients per percent
constexpr double kPercent = 100.0;
constexpr double kThetaScale = 2000.0;         // chromatic angle terms, micrometre/milliradian per %
constexpr double kPositionScale = 2.0;         // chromatic position terms per %

// The unit index an argument letter selects; other letters keep the current one.
int unit_for_letter(char letter, int current) {
  switch (letter) {
    case ' ': return 1;
    case 'G': return 2;
    case 'K': return 3;
    case 'M': return 4;
    case 'O': return 5;
    default: return current;
  }
}

// Coefficients per percent become coefficients per unit of field: a change of 1 % is
// field x factor / 100 units.
double per_unit(double field, double unit_factor, int unit) {
  if (unit == kPercentUnit || field == 0.0 || unit_factor == 0.0) return 1.0;
  return kPercent / (field * unit_factor);
}

void print_excitation(Vorne& v, const ExcitationCoefficients& e, const std::vector<double>& group_values,
                      double perturbation) {
  const int unit = v.excite_unit;
  const double unit_factor = v.units(unit);
  static const qx::Format kHeading{
      "(1H ,/,1H ,'Excitation Aberration Coefficients  ','(',A,') Perturbation = ',0P,F9.4,'%',/,"
      "1H ,'First Order')"};
  v.term.write(kHeading, unit == kPercentUnit ? std::string_view("  %  ") : unit_name(unit), perturbation);
  // Every lens is listed, also one whose coefficients vanish (a lens at zero field).
  for (int n = 1; n <= e.lenses; ++n) {
    const std::size_t k = static_cast<std::size_t>(n - 1);
    const double f = per_unit(v.sys.p(e.lens_row[k], 3), unit_factor, unit);
    static const qx::Format kLens{"(1H ,4X,'X/THE',I1,3X,1P,G13.5,4X,'Y/PHE',I1,3X,1P,G13.5)"};
    v.term.write(kLens, n, e.lens[k][0] * f, n, e.lens[k][1] * f);
  }
  if (e.groups >= 2) {
    static const qx::Format kCoupled{"(1H ,/,1H ,'Coupled excitation  First order')"};
    v.term.write(kCoupled);
    for (int n = 1; n <= e.groups; ++n) {
      const std::size_t k = static_cast<std::size_t>(n - 1);
      const double f = per_unit(group_values[k], unit_factor, unit);
      static const qx::Format kGroup{"(1H ,4X,'X/THG',I1,3X,1P,G13.5,4X,'Y/PHG',I1,3X,1P,G13.5)"};
      v.term.write(kGroup, n, e.group[k][0] * f, n, e.group[k][1] * f);
    }
    static const qx::Format kFirstUnits{"(1H ,'Units: micron/milliradian/%power supply error')"};
    v.term.write(kFirstUnits);
  }
  if (e.octupoles > 0) {
    static const qx::Format kThird{"(1H ,/,1H ,'Third Order')"};
    v.term.write(kThird);
    for (int n = 1; n <= e.octupoles; ++n) {
      const std::size_t k = static_cast<std::size_t>(n - 1);
      static const qx::Format kOctupole{"(1H ,'3RD ','X/TH3F',I1,3X,1P,G13.5,4X,'Y/PH3F',I1,3X,1P,G13.5)"};
      v.term.write(kOctupole, n, e.octupole[k][0] / unit_factor, n, e.octupole[k][1] / unit_factor);
    }
    static const qx::Format kThirdUnits{"(1H ,'Units: micron/milliradian^3/%power supply error')"};
    v.term.write(kThirdUnits);
  }
}

void print_chromatic(Vorne& v, double perturbation) {
  const ChromaticTerms& c = v.walk.chromatic;
  static const qx::Format kChromatic{
      "(1H ,/,1H ,'Chromatic Aberration Coefficients',/,1H ,'Perturbation = ',0P,F9.4,'%',/,"
      "1H ,4X,'X/THDM',3X,1P,G13.5,4X,'Y/PHDM',3X,1P,G13.5,/,"
      "1H ,4X,'X/XDM ',3X,1P,G13.5,4X,'Y/YDM ',3X,1P,G13.5,/,"
      "1H ,'Units: micron/milliradian/% momentum error',/)"};
  v.term.write(kChromatic, perturbation, c.xt * kThetaScale, c.yp * kThetaScale, c.xx * kPositionScale,
               c.yy * kPositionScale);
}

}  // namespace

void cmd_excite(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  double perturbation = line.number;
  const char letter = line.arg_letter();
  v.excite_unit = unit_for_letter(letter, v.excite_unit);
  static const qx::Format kAsk{"(1H ,'Perturbation > ',$)"};
  if (letter == 'S' &&
      ask_fixed_real(v, {kAsk, false, false}, kPerturbationField, perturbation) != qx::Answer::accepted)
    return;
  if (perturbation == 0.0) perturbation = kDefaultPerturbation;

  if (line.word()[0] == 'C') {
    chromatic_run(v, perturbation);   // puts the system and the walk back itself
    print_chromatic(v, perturbation);
    return;
  }
  // The coefficients come from walks of the perturbed system; the table (fields, group
  // values, the walk's columns) and the last walk's results come back bit for bit.
  ExcitationCoefficients e;
  std::vector<double> group_values;   // as the coefficients' groups were collected
  {
    const SystemSnapshot snapshot(v.sys, v.walk);
    // The octupoles' rays are carried at third order, where the transform would also add the
    // chromatic terms of whatever chromatic run came last; an excitation error has none.
    v.walk.chromatic = ChromaticTerms{};
    e = excitation_coefficients(v, perturbation);
    for (int g = 1; g <= e.groups; ++g) group_values.push_back(v.sys.group_value(g));
  }
  print_excitation(v, e, group_values, perturbation);
}

}  // namespace vorne
