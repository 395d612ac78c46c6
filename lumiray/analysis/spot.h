// SPOT: the size of the probe in a plane behind the system (centroid, rms sizes, FWHM of the
// profiles, the narrowest widths and the diameters that hold a share of the rays), and with
// SPOT/S the same through focus. The rays are those beyond the two paraxial rays (3..NTOT).
#pragma once

#include <array>
#include <span>
#include <vector>

#include "analysis/ray_source.h"
#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

// The shares of the rays the widths and diameters hold, in percent.
inline constexpr std::array<int, 4> kSpotPercents{50, 80, 90, 100};

// The smallest number of rays that holds `percent` of n: ceil(percent n / 100), at least 1.
long rays_holding(int percent, long n);

// The narrowest interval of sorted values that holds m of them (m from 1 to their number).
double narrowest_width(std::span<const double> sorted, long m);

// FWHM of the profile of sorted values. Channels of equal width start at the smallest value;
// the width is the larger of a tenth of `width50` (the narrowest width holding 50 %) and a
// ten-thousandth of the full range. The half maximum is half the fullest channel's count;
// from each side, the crossing is interpolated linearly between the centres of the first
// channel holding at least that many rays and its outer neighbour (a channel beyond the
// ends counts 0). All values equal: 0.
double profile_fwhm(std::span<const double> sorted, double width50);

// The positions of rays 3..NTOT in one plane (m). Kept between planes so a scan allocates once.
struct PlanePoints {
  std::vector<double> x, y;
  std::vector<double> r2;   // squared distances from the centroid
};

// Everything SPOT prints for one plane (m).
struct SpotSizes {
  long rays = 0;
  double cx = 0.0, cy = 0.0;          // centroid
  double rms_x = 0.0, rms_y = 0.0;    // about the centroid, over n (not n - 1)
  double fwhm_x = 0.0, fwhm_y = 0.0;
  std::array<double, 4> width_x{}, width_y{}, diameter{};   // holding kSpotPercents
};

// Centroid, rms sizes and the diameters of the points (x and y are left as they are; r2 is
// filled and partly ordered). With `widths`, x and y are sorted and the widths and FWHM
// follow; otherwise those stay 0. At least one point.
SpotSizes measure_spot(PlanePoints& p, bool widths);

// SPOT, SPOT/X, /Y, /F, /G, /O (the plane as MAP asks for it, the letter taken as the
// answer), SPOT/I v and /J v (v um behind the X image plane, v a number or a register),
// SPOT/k (stores the 50 % diameter in Ak, um) and SPOT/S (through-focus scan).
void spot_command(Lumiray& s, const qx::CommandLine& line);

}  // namespace lumiray
