// FAKE's generator: rays start from an object, pass a collimator aperture and are mapped to
// the end of the lens system; each goes to a RaySink. No dialogue and no program state here
// (the command is app/fake_command.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "generate/raymap.h"
#include "io/coef.h"
#include "qx/constants.h"
#include "qx/units.h"

namespace lumiray {

inline constexpr int kHistogramBins = 101;    // energy distribution of FAKE
using qx::kPi;                                // the pi of every formula, shared with vorne
inline constexpr double kDegree = kPi / 180.0;
inline constexpr double kNoSize = 1.0e-30;    // a size below this is no size at all
inline constexpr double kSpreadOn = 1.0e-10;  // energy spreads above this are active

// The 48-bit linear congruential generator FAKE draws from: X' = (a X + c) mod 2^48, full
// period, seeded from the library's QXRAN of the time of day.
class Lcg48 {
 public:
  explicit Lcg48(std::uint64_t& state) : x_(state) {}
  // Next number in [0, 1).
  double next();
  // The state made from a number in [0, 1).
  static std::uint64_t state_from(double r);

 private:
  std::uint64_t& x_;
};

// Seconds since midnight of a time of day "hh:mm:ss"; blanks read as zeros.
int seconds_of_day(std::string_view time);

enum class SamplingMode { random = 1, regular = 2, divergence = 3 };

// Everything one run of the generator needs, in SI units.
struct Sampling {
  SamplingMode mode = SamplingMode::regular;
  long random_rays = 0;          // random mode: rays wanted
  double no = 0.0, na = 0.0;     // object and aperture counts (regular, divergence)
  bool square = false;           // square apertures: no point is dropped
  double hx = 0.0, hy = 0.0;     // object half sizes (m); divergence mode: half divergences (rad)
  double ax = 0.0, ay = 0.0;     // aperture half sizes (m)
  double collimator = 1.0;       // object-to-aperture distance L (m)
  double th_off = 0.0, ph_off = 0.0;   // angle offsets (rad)
  double spread = 0.0;           // energy half spread (%); active above 1.0E-10
  double ko = 0.0, ka = 0.0;     // flux-peaking indices (random mode)
  bool solenoid = false;         // map with RAYSOL instead of RAYMAP
};

// Points on one axis of the regular grids: n points centred on 0, `step` apart.
struct Axis {
  int n = 1;
  double step = 0.0;
  double at(int i) const { return n == 1 ? 0.0 : (i - 0.5 * (n - 1)) * step; }
};
// The axis of half size h sampled with `count` points over the object or aperture
// (step 2h/sqrt(count)); a half size below 1.0E-30 gives one point at 0.
Axis grid_axis(double h, double count);

// Where generated rays go. put returns false when no more rays can be taken (the set is full
// or the file cannot be written); generation then stops.
class RaySink {
 public:
  virtual ~RaySink() = default;
  virtual bool put(const Ray& r) = 0;
};

// Generates one run of rays (the paraxial rays are the caller's) and hands each, mapped, to
// the sink. Progress notes go to out. Returns the number of rays the sink took.
long generate_rays(const Sampling& p, const CoefficientSet& coef, Lcg48& rng,
                   std::array<int, kHistogramBins>& histogram, RaySink& sink, qx::Output& out);

}  // namespace lumiray
