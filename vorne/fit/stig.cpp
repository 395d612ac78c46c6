#include "fit/stig.h"

#include <array>
#include <cmath>
#include <span>
#include <vector>

#include "fit/fitting.h"
#include "session/walks.h"
#include "qx/format.h"
#include "qx/stepit.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr double kStigTolerance = 1.0E-10;   // STIG's default smallest step
constexpr int kTraceFirst = 10;              // STIG traces its first 10 evaluations ...
constexpr int kTraceEvery = 10;              // ... and every 10th after that

// ---- S and STIG -------------------------------------------------------------------------------

void set_group_values(LensSystem& s, std::span<const double> x) {
  for (int g = 1; g <= s.nv; ++g) s.group_value(g) = x[static_cast<std::size_t>(g - 1)];
}

// The walk's astigmatism X/TH and Y/PH in `object`, or at the image (times the
// magnifications) in `image`.
void write_astigmatism(Vorne& v, bool at_image, const qx::Format& image, const qx::Format& object) {
  if (at_image) {
    const Magnification m = mag(v, v.sys.izend);
    v.term.write(image, v.walk.s(1, 2) * m.mx, v.walk.s(3, 4) * m.my);
  } else {
    v.term.write(object, v.walk.s(1, 2), v.walk.s(3, 4));
  }
}

void run_stig(Vorne& v, const qx::CommandLine& line) {
  LensSystem& s = v.sys;
  if (s.nv == 0) {
    say_no_groups(v);
    return;
  }
  if (v.idiag > kQuietLevel) v.set_diagnostic(kTerminalLevel);   // the walks of the fit print nothing
  const double tolerance = line.number > 0.0 ? line.number : kStigTolerance;
  const int plane = line.option == 'X' ? 1 : line.option == 'Y' ? 2 : 0;
  s.p(1, 6) = plane;

  const double initial = squared_objective(v);
  if (v.idiag == kThinLensFitLevel) {
    static const qx::Format kInitialImage{
        "(1H ,'Initial combined image distance error = ',1P,G13.5,/,/,"
        "1H ,'(N)   X-Y error   - FIELDS (',I2,')............')"};
    // The fit works in micrometres; its start value is shown in the same unit as its trace.
    v.term.write(kInitialImage, kMicrometresPerMetre * std::sqrt(initial), s.nv);
  } else {
    static const qx::Format kInitialAstig{
        "(1H ,'Initial combined astigmatism = ',1P,G13.5,/,/,1H ,'(N)  Comb. Astg.  - FIELDS (',I2,')............')"};
    v.term.write(kInitialAstig, std::sqrt(initial), s.nv);
  }

  std::vector<double> start;
  for (int g = 1; g <= s.nv; ++g) start.push_back(s.group_value(g));
  const qx::StepitSettings settings = fit_settings(start, tolerance);
  long count = 0;
  const int nv = s.nv;
  const auto objective = [&](std::span<const double> x, int) {
    set_group_values(s, x);
    apply_groups(s);
    system_walk(v, 1, false);
    std::array<double, 2> d = objective_terms(v.sys, v.walk, v.idiag);
    if (plane == 2) d[0] = 0.0;
    if (plane == 1) d[1] = 0.0;
    double value = std::sqrt(d[0] * d[0] + d[1] * d[1]);
    if (v.idiag == kThinLensFitLevel) value *= kMicrometresPerMetre;
    ++count;
    if (count <= kTraceFirst || count % kTraceEvery == 0) {
      std::vector<qx::FormatArg> args{static_cast<long>(count), value};
      for (int g = 0; g < nv; ++g) args.emplace_back(x[static_cast<std::size_t>(g)]);
      static const qx::Format kTrace{"(1H ,I3,' ',1P,G13.5,'  ',20(1P,G13.5,' '))"};
      v.term.put(kTrace.render(args));
    }
    return value;
  };
  qx::StepitResult result;
  {
    const QuietWalks quiet(v);
    result = qx::stepit(settings, objective, v.term);
  }

  s.p(1, 6) = 0.0;
  v.warnings = true;
  set_group_values(s, std::span<const double>(result.x.data(), static_cast<std::size_t>(nv)));
  apply_groups(s);
  system_walk(v, 3);
  static const qx::Format kAfterImage{
      "(1H ,/,1H ,2X,'After minimisation     C01 = ',1P,G12.5,' m/rad',/,1H ,22X,'   C01 = ',1P,G12.5,' m/rad')"};
  static const qx::Format kAfter{
      "(1H ,/,1H ,2X,'After minimisation  (X/TH) = ',1P,G12.5,' m/rad',/,1H ,22X,'(Y/PH) = ',1P,G12.5,' m/rad')"};
  write_astigmatism(v, line.option == 'I', kAfterImage, kAfter);
}

}  // namespace

void cmd_s(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  system_walk(v, 1);
  collect_groups(s, v.term);
  static const qx::Format kAstigImage{
      "(1H ,7X,'Astigmatism       C10 = ',1P,G13.5,' m/rad',/,1H ,22X,'   C01 = ',1P,G13.5,' m/rad')"};
  static const qx::Format kAstig{
      "(1H ,7X,'Astigmatism    (X/TH) = ',1P,G13.5,' m/rad',/,1H ,22X,'(Y/PH) = ',1P,G13.5,' m/rad')"};
  write_astigmatism(v, line.option == 'I', kAstigImage, kAstig);
  if (line.word().size() > 1 && line.word()[1] == 'T') run_stig(v, line);
}

}  // namespace vorne
