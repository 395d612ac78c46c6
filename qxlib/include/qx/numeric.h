// Checked conversions from computed or typed reals to integers.
// Every count, index, code and register letter taken from a double goes through these, so
// an out-of-range or non-finite value gets a message instead of undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace qx {

// INT(x): truncation toward zero; empty when x is not finite or outside [lo, hi].
std::optional<std::int64_t> int_part(double x, std::int64_t lo = INT32_MIN, std::int64_t hi = INT32_MAX);
// NINT(x): nearest integer, halves away from zero; empty when not finite or out of range.
std::optional<std::int64_t> nearest_int(double x, std::int64_t lo = INT32_MIN, std::int64_t hi = INT32_MAX);

// QXRAN: |frac(x * 9821 + 0.211327)|, the next value of the library's pseudo-random sequence.
double qxran(double x);

}  // namespace qx
