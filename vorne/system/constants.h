// Physical and unit constants of the design program, each defined once.
#pragma once

#include "qx/constants.h"

namespace vorne {

// ---- Physical constants -----------------------------------------------------------------------
inline constexpr double kElementaryCharge = 1.6021892E-19;   // C
inline constexpr double kSpeedOfLight = 299792458.0;         // m/s
inline constexpr double kMagneticConstant = 1.256637062E-06; // mu0, T m/A
inline constexpr double kAtomicMassUnit = 1.660565416E-27;   // kg
using qx::kPi;                                               // the value every formula uses

// ---- Units ------------------------------------------------------------------------------------
inline constexpr double kElectronVoltsPerMeV = 1.0E6;
using qx::kMicrometresPerMetre;                               // reports show lengths in um
inline constexpr double kMilliradiansPerRadian = 1.0E3;      // and angles in mrad
inline constexpr double kMicronsPerMilliradian = 1.0E3;      // a ratio in m/rad shown in um/mrad

}  // namespace vorne
