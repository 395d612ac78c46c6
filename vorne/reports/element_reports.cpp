// The element report commands (QUAD, OCTU, SOLEN, ACCEL, DIP, EINZ, VS, GAP, CYL, SEXT), the
// walk's part of the final run and the fitting objective the prompt shows.
#include "reports/element_reports.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "elements/elements.h"
#include "optics/corrections.h"
#include "optics/listings.h"
#include "session/walks.h"
#include "qx/format.h"
#include "qx/numeric.h"
#include "session/dialogue.h"

namespace vorne {

namespace {

constexpr int kMaxDirectIndex = 20;   // a number from 1 to 19 names the element at once
constexpr std::size_t kIndexField = 2;    // "Which?> " is read as I2
constexpr int kMaxCountedQuadrupoles = 4; // the octupole correction handles up to four

// The internal type a report command selects, from the first two letters of its word.
int report_type(const std::string& word) {
  struct Entry {
    const char* letters;
    int type;
  };
  static constexpr Entry kTypes[] = {{"DI", kDipole},        {"SE", kSextupole},   {"VS", kVelocitySelector},
                                     {"OC", kOctupole},      {"AC", kAccelerator}, {"SO", kSolenoid},
                                     {"GA", kGapLens},       {"EI", kEinzelLens},  {"CY", kCylinderLens}};
  for (const Entry& e : kTypes)
    if (word.compare(0, 2, e.letters) == 0) return e.type;
  return kQuadrupole;
}

// The k-th row (counting from 1) of rows 3 to izend whose unpacked type is `type`; 0 for none.
int find_element(const LensSystem& s, int type, int k) {
  int count = 0;
  for (int iz = kFirstElementRow; iz <= std::min(s.izend, kRows); ++iz)
    if (s.type_at(iz).type == type && ++count == k) return iz;
  return 0;
}

// The element's own routine for the types whose report recomputes the element; the rest keep
// the matrix of the walk.
Mat4 element_matrix(Vorne& v, int iz, int type) {
  static constexpr int kRecomputed[] = {kDipole, kQuadrupole, kSextupole, kOctupole, kAccelerator, kSolenoid, kGapLens};
  Mat4 a = v.walk.element_matrix[static_cast<std::size_t>(iz)];
  if (std::find(std::begin(kRecomputed), std::end(kRecomputed), type) != std::end(kRecomputed))
    element_routine(type)(v.sys, iz, particle_of(v.sys), walk_settings(v), a);
  return a;
}

}  // namespace

void cmd_element_report(Vorne& v, const qx::CommandLine& line) {
  LensSystem& s = v.sys;
  const std::optional<std::int64_t> typed = qx::int_part(line.number, -99, 99);
  int k = typed ? static_cast<int>(*typed) : 0;
  if (k == 0 || k >= kMaxDirectIndex) {
    static const qx::Format kWhich{"(1H ,'Which?> ',$)"};
    v.term.write(kWhich);
    if (read_int_answer(v, kIndexField, k) != qx::Answer::accepted) return;
  }
  int type = report_type(line.word());
  int iz = find_element(s, type, k);
  if (iz == 0) {
    static const qx::Format kNotFound{"(1H ,A,' ',I2,' not found')"};
    v.term.write(kNotFound, type_name(type), k);
    return;
  }
  while (iz > kFirstElementRow && s.type_at(iz).supra == 1) {
    static const qx::Format kSupra{"(1H ,/,1H ,' Lens ,',I2,' is a supra lens on lens ',I2,'.',/)"};
    v.term.write(kSupra, iz, iz - 1);
    --iz;
    type = s.type_at(iz).type;
  }
  // The report shows the system as it stands: image positions of the lenses before this one
  // come from a fresh walk, not from before the last change of a field.
  system_walk(v, 1, false);
  s.p(1, 4) = energy_at(s, iz);
  const Mat4 a = element_matrix(v, iz, type);
  geometric_listing(s, iz, a, walk_settings(v));
  s.p(1, 4) = s.p(1, 12);
}

void final_run_reports(Vorne& v) {
  system_walk(v, 3);
  // The listing holds the cardinal elements of every lens and of the system whatever level
  // chose the traces before them.
  for (int iz = kFirstElementRow; iz <= std::min(v.sys.izend, kRows); ++iz)
    geometric_listing(v.sys, iz, v.walk.element_matrix[static_cast<std::size_t>(iz)], walk_settings(v), true);
  if (v.walk.quads <= kMaxCountedQuadrupoles) octupole_correction_report(v.sys, v.walk, walk_settings(v));
}

}  // namespace vorne
