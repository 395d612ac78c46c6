// DELTAE: the histogram of the energy deviation of the current set, and the set rearranged
// as (alpha, 0, delta, 0, 0) rays for plotting the angle against the energy.
#pragma once

#include <string>

#include "session/state.h"

namespace lumiray {

inline constexpr int kDeltaBins = 100;

// Bin 1..100 of an energy deviation d in the range [dmin, dmin + spread], spread > 0;
// 0 (no bin) for a deviation that is not finite.
int delta_bin(double d, double dmin, double spread);

// The DELTAE command; name is the histogram file name as typed (may be blank).
void deltae_command(Lumiray& s, const std::string& name);

}  // namespace lumiray
