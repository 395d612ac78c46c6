// PROFIL (LQPROFILE): a histogram of x, y (um) or the energy deviation (%) of the rays at
// the end of the system, written as a profile file "<base><letter>.fit".
#pragma once

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

inline constexpr int kProfileChannels = 1000;
inline constexpr int kMaxChannels = kProfileChannels - 1;   // channel n + 1 must fit
inline constexpr int kDefaultChannels = 20;

// The channel of value v: int(n (v - lo)/(hi - lo) + 1.5), so hi falls in channel n + 1.
int profile_channel(double v, double lo, double hi, int n);

void profile_command(Lumiray& s, const qx::CommandLine& line);

}  // namespace lumiray
