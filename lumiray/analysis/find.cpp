#include "analysis/find.h"

#include <cmath>
#include <optional>

#include "analysis/ray_tools.h"
#include "generate/fake.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kDegrees = 57.2957795;   // per radian
constexpr double kMicron = 1.0e-6;
constexpr double kMilli = 1.0e-3;
constexpr int kMaxOrder = 8;

const qx::Format kRule{"(1H ,78('-'))"};

}  // namespace

std::optional<double> grid_angle(double d, double zs, double g, double ps) {
  // The magnitude: a grid before the crossover (D < 0) inverts the shadow, and the angle
  // between grid and axis does not change sign with it.
  if (!(g > 0.0 && ps > 0.0)) return std::nullopt;
  const double c = std::fabs((d + zs) / d) * g / ps;
  if (!std::isfinite(c) || c < -1.0 || c > 1.0 || d == 0.0) return std::nullopt;
  const double a = std::acos(c);
  if (a == 0.0) return std::nullopt;
  return a;
}

double shadow_coefficient(int i, double c, double d, double zs, double g, double ps, double m22, double a) {
  const double f = std::pow(10.0, 3 * i - 3);   // mm/mm^i to m/m^i
  // The signed projection ratio takes the place of cos a, so that the coefficient carries
  // the inversion of a shadow cast from before the crossover.
  const double ratio = (d + zs) * g / (d * ps);
  // The image-side angle of a ray from the axial object point is M(2,2) theta0, at a focus
  // or not.
  return g * std::pow(zs, i) * f * c * std::pow(m22, i) / (ratio * ps * std::tan(a));
}

void find_command(Lumiray& s, const qx::CommandLine& line, const std::string& typed) {
  static const qx::Format kHead{"(1H ,/,1H ,78('-'),/,1H ,20X,'Grid Shadow Pattern Analysis',/,1H ,78('-'),/,"
                                "1H ,/,1H ,10X,'Obtain aberration coefficients and system parameters')"};
  s.out.write(kHead);
  static const qx::Format kAsk{"(1H ,'Filename for coefficients > ',$)"};
  const std::optional<std::string> asked = name_or_ask(s, typed, kAsk);
  if (!asked) return;
  std::string name = *asked;
  const int got = cofrev(s.dialogue(), name, line.option, s.coef);
  static const qx::Format kUnable{"(1H ,'Unable to continue with FIND.',A)"};
  if (got == 1) s.out.write(kUnable, "\a");
  if (got != 0) return;
  s.cof_file = name;

  const CoefficientSet& c = s.coef;
  const double zs = c.shadow_distance;
  // The x plane, as the coefficients reported below.
  const double d = c.first(1, 2) / c.first(2, 2);
  FindSettings& f = s.find;
  static const qx::Format kGrid{"(1H ,' Actual grid period (CR for ',1P,G12.5,' ) micron > ',$)"};
  if (!ask_number(s.dialogue(), [&] { s.out.write(kGrid, f.grid_period); }, f.grid_period)) return;
  static const qx::Format kShadow{"(1H ,'Period of shadows ',1P,G12.5,'+/-',1P,G12.5,/,"
                                  "1H ,'Period of shadows along axis (with error) mm > ',$)"};
  if (!ask_numbers(s.dialogue(), [&] { s.out.write(kShadow, f.shadow_period, f.shadow_error); }, f.shadow_period,
                   f.shadow_error))
    return;
  static const qx::Format kWidth{"(1H ,'(Optional) Total shadow pattern width (',1P,G12.5,') mm > ',$)"};
  if (!ask_number(s.dialogue(), [&] { s.out.write(kWidth, f.width); }, f.width)) return;
  const double g = f.grid_period * kMicron, ps = f.shadow_period * kMilli, e = f.shadow_error * kMilli;
  const double w = f.width * kMilli;
  static const qx::Format kParameters{
      "(1H ,/,1H ,'Parameters used to calculate grid angle: ',/,"
      "1H ,12X,'Grid period = ',1P,G12.5,' m',/,"
      "1H ,'Shadow plane from image = ',1P,G12.5,' m',/,"
      "1H ,20X,'D01 = ',1P,G12.5,' m/rad',/,"
      "1H ,' Grid shadow bar period = ',1P,G12.5,' m (+/-',1P,G12.5,')',/,"
      "1H ,10X,'Pattern width = ',1P,G12.5,' m')"};
  s.out.write(kParameters, g, zs, d, ps, e, w);

  const std::optional<double> a = grid_angle(d, zs, g, ps);
  static const qx::Format kNoAngle{
      "(1H ,'?FIND - No grid angle fits: the shadow period is shorter than the projected grid period',"
      "/,1H ,'        or the crossover distance D01 is 0.')"};
  if (!a || !std::isfinite(d)) {
    s.out.write(kNoAngle);
    return;
  }
  // The error bounds: a period beyond the arccos range bounds the angle at 0.
  const auto bound = [&](double p) { return grid_angle(d, zs, g, p).value_or(0.0); };
  const double err1 = std::fabs(std::fabs(*a) - std::fabs(bound(ps + e)));
  const double err2 = std::fabs(std::fabs(*a) - std::fabs(bound(ps - e)));
  static const qx::Format kAngles{"(1H ,'Acute grid angle calculated to be ',1P,G12.5,' degrees',/,"
                                  "1H ,' (True angle ',1P,G12.5,' degrees)',/,"
                                  "1H ,'Errors +/-',1P,G12.5,',',1P,G12.5,' average +/-',1P,G12.5)"};
  s.out.write(kAngles, (kPi / 2 - *a) * kDegrees, *a * kDegrees, err1 * kDegrees, err2 * kDegrees,
              (err1 + err2) / 2 * kDegrees);
  const double spread = 2.0 * zs * c.first(2, 2);
  static const qx::Format kDivergence{"(1H ,' Initial beam divergence used +/- ',1P,G12.5,' mrad')"};
  static const qx::Format kNoDivergence{"(1H ,'%FIND - Shadow distance or M(2,2) is 0: no beam divergence.')"};
  if (spread != 0.0 && std::isfinite(w / spread))
    s.out.write(kDivergence, w / spread * 1000.0);
  else
    s.out.write(kNoDivergence);

  static const qx::Format kOrder{"(1H ,'Order of polynomial fitted to grid shadow pattern ( ',I2,' ) > ',$)"};
  static const qx::Format kBadOrder{"(1H ,'?FIND - The order is a whole number from 1 to 8.')"};
  while (true) {
    double order = f.order;
    if (!ask_number(s.dialogue(), [&] { s.out.write(kOrder, f.order); }, order)) return;
    const std::optional<std::int64_t> n = qx::nearest_int(order, 1, kMaxOrder);
    if (n) {
      f.order = static_cast<int>(*n);
      break;
    }
    s.out.write(kBadOrder);
  }
  static const qx::Format kCalculated{"(1H ,/,1H ,/,1H ,78('-'),/,1H ,'Calculated Coefficients :')"};
  s.out.write(kCalculated);
  static const qx::Format kCoefficient{"(1H ,'Polynomial coefficient order ',I1,' ( ',1P,G12.5,' ) mm/mm',I1,' > ',$)"};
  static const qx::Format kResult{"(1H ,20X,'(x/th',I1,') = ',1P,G12.5,' m/rad',I1,/,1H ,20X,10X,1P,G12.5)"};
  for (int i = 1; i <= f.order; ++i) {
    double& ci = f.coefficients[static_cast<std::size_t>(i - 1)];
    if (!ask_number(s.dialogue(), [&] { s.out.write(kCoefficient, i, ci, i); }, ci)) return;
    const double k = shadow_coefficient(i, ci, d, zs, g, ps, c.first(2, 2), *a);
    s.out.write(kResult, i, k, i, k);
  }
  static const qx::Format kEnd{"(1H ,78('-'),/,1H )"};
  s.out.write(kEnd);
}

}  // namespace lumiray
