#include "analysis/trans.h"

#include <optional>

#include "analysis/plotdata.h"
#include "analysis/ray_tools.h"
#include "io/lqio.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr long kStarEvery = 100;
constexpr int kStarsPerLine = 50;
constexpr int kStarIndent = 15;

}  // namespace

bool passes_collimator(const CoefficientSet& c, const Ray& r) {
  if (!c.loaded) return false;
  const double l = c.collimator_distance;
  const double xa = r.x + l * r.th, ya = r.y + l * r.ph;
  const double xh = c.aperture[0], xc = c.aperture[1], yh = c.aperture[2], yc = c.aperture[3];
  if (c.aperture_shape == 'S') return xc - xh <= xa && xa <= xc + xh && yc - yh <= ya && ya <= yc + yh;
  double sum = 0.0;
  if (xh != 0.0) sum += ((xa - xc) / xh) * ((xa - xc) / xh);
  if (yh != 0.0) sum += ((ya - yc) / yh) * ((ya - yc) / yh);
  return sum <= 1.0;
}

void trans_command(Lumiray& s, const qx::CommandLine& line, const std::string& typed) {
  static const qx::Format kHead{"(1H ,78('-'),/,1H ,20X,'Transfer the present rayset with a power series',/,"
                                "1H ,78('-'),/,1H )"};
  s.out.write(kHead);
  DataSet rays(s);
  if (!rays.ready("?TRANS")) return;
  static const qx::Format kAsk{"(1H ,'Filename for aberration coefficients > ',$)"};
  const std::optional<std::string> asked = name_or_ask(s, typed, kAsk);
  if (!asked) return;
  std::string name = *asked;
  static const qx::Format kObtain{"(1H ,/,1H ,'<<< Obtain aberration coefficients and system',' parameters >>> ')"};
  s.out.write(kObtain);
  // A failed read keeps the previous coefficient set.
  const int got = cofrev(s.dialogue(), name, line.option, s.coef);
  static const qx::Format kNoCoefficients{"(1H ,'Error getting coefficients')"};
  if (got == 1) s.out.write(kNoCoefficients);
  if (got != 0) return;
  s.cof_file = name;
  // The coefficient file's own name with ".bin" would be the file just read.
  const std::string output = base_name(name) + "t.bin";
  static const qx::Format kOutput{"(1H ,'Rays passed are written to ',A)"};
  s.out.write(kOutput, output);
  static const qx::Format kCannot{"(1H ,'Unable to open output file')"};
  if (lqio_open(s.lqio(), 'W', output) != 0) {
    s.out.write(kCannot);
    return;
  }
  Stars stars(s.out, kStarEvery, kStarsPerLine, kStarIndent);
  const bool whole = each_ray(rays, 1, [&](long i, const Ray& r) {
    stars.tick(i);
    return !passes_collimator(s.coef, r) || lqio_write(s.lqio(), 'W', raymap(s.coef, r));
  });
  stars.finish();
  if (!whole) {
    s.rays.writer.reset();
    return;
  }
  // The mapped rays are the current set now; the focal positions of the old system are gone.
  s.fake.focus_known = false;
  lqio_close(s.lqio(), 'W');
  lqio_open(s.lqio(), 'R', output);
  static const qx::Format kPassed{"(1H ,I6,' rays passed through to end of system.')"};
  s.out.write(kPassed, s.ntot);
}

}  // namespace lumiray
