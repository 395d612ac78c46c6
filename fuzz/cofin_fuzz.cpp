// Arbitrary bytes as a coefficient file for COFIN's reader. A file that reads must deliver
// finite values and a title of 100 characters; one that does not must leave the set's
// loaded flag alone. Either way: no crash, no hang, no read past the input.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/coef.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx::StringInput in(std::string(reinterpret_cast<const char*>(data), size));
  lumiray::CoefficientSet set;
  const bool ok = lumiray::read_coefficients(in, set);
  check(!set.loaded);
  check(set.title.size() == lumiray::kTitleLength);
  if (ok) {
    for (const double v : set.first_order) check(std::isfinite(v));
    for (const double v : set.map_terms) check(std::isfinite(v));
    for (const double v : set.third_order) check(std::isfinite(v));
    for (const double v : set.chromatic_terms) check(std::isfinite(v));
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) check(set.map(i, j) == set.first(i, j));
  }
  return 0;
}
