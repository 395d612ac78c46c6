// Constants both programs use, held once.
#pragma once

namespace qx {

// The value of pi every formula of both programs uses (ten digits, as the designs were made
// with it); reports and ray files depend on its last digit.
inline constexpr double kPi = 3.141592654;

// Both programs show lengths in micrometres.
inline constexpr double kMicrometresPerMetre = 1.0E6;

}  // namespace qx
