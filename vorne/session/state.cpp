#include "session/state.h"

#include <cstdint>
#include <utility>

#include "qx/format.h"
#include "qx/numeric.h"

namespace vorne {

namespace {

// A stored level that is no integer the program can hold (a huge or non-finite value from a
// file) leaves the working level where it was.
constexpr std::int64_t kLevelLimit = 1000000000;

}  // namespace

Vorne::Vorne(qx::Output& terminal, std::unique_ptr<qx::Input> keyboard)
    : term(terminal), qx(terminal), input(std::move(keyboard), kMacroLevels), help_file(kDefaultHelpFile) {}

void Vorne::set_diagnostic(double level) {
  sys.p(1, 5) = level;
  refresh_diagnostic();
}

bool require_system(Vorne& v) {
  static const qx::Format kNone{"(1H ,'?VORNE- No system loaded.')"};
  if (v.sys.loaded()) return true;
  v.term.write(kNone);
  return false;
}

void Vorne::refresh_diagnostic() {
  if (const auto n = qx::nearest_int(sys.p(1, 5), -kLevelLimit, kLevelLimit)) idiag = static_cast<int>(*n);
}

}  // namespace vorne
