// Placeholders for the second- and third-order parts of the walk until the aberrations part
// provides them: each leaves its result as it found it, so S2 stays the identity and the
// third-order sums stay zero. The aberrations part deletes this file.
#include "state.h"
#include "walk.h"

namespace vorne {

void element_third_order(Vorne&, int, ThirdOrderSet&) {}

void tadd(Vorne&, int, const ThirdOrderSet&, ThirdOrderSet&) {}

void element_second_order(Vorne&, int, const Mat4&, Mat14&) {}

void print_third_order(qx::Output&, const ThirdOrderSet&, int) {}

void octupole_correction_report(Vorne&) {}

}  // namespace vorne
