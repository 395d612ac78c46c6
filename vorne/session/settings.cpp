#include "session/settings.h"

namespace vorne {

namespace {

constexpr std::array<std::string_view, kFieldUnits> kUnitNames = {
    "Tesla", "Gauss", "kG   ", "Mcbox", "Lqctl", "kV   ", "Volts",
    "MeV  ", "Beta ", "AmpTn", "Tesla", "Theta", "Fd Gr"};

}  // namespace

std::string_view unit_name(int k) {
  if (k < 1 || k > kFieldUnits) return "     ";
  return kUnitNames[static_cast<std::size_t>(k - 1)];
}

}  // namespace vorne
