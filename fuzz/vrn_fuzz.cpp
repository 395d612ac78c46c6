// The system-data-file loader on arbitrary bytes: it must never crash or write past the
// table, and whatever it loads must survive SAVE and DATA again: after one save and load
// cycle the values no longer change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "system/datafile.h"
#include "qx/units.h"
#include "system/system.h"

namespace {

// A title as SAVE writes it: trailing blanks, TABs and carriage returns are no part of it.
std::string_view written_title(std::string_view t) {
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r')) t.remove_suffix(1);
  return t;
}

bool same_system(const vorne::LensSystem& a, const vorne::LensSystem& b) {
  if (written_title(a.title) != written_title(b.title) || a.izend != b.izend) return false;
  for (int iz = 1; iz <= vorne::kRows; ++iz) {
    for (int col = 1; col <= vorne::kColumns; ++col) {
      if (a.p(iz, col) != b.p(iz, col)) return false;
    }
  }
  return true;
}

// SAVE's records of s, read back.
vorne::LensSystem saved_and_loaded(const vorne::LensSystem& s) {
  qx::StringOutput out(1);
  vorne::write_system(out, s);
  qx::StringInput in(out.text(), 1);
  vorne::LensSystem back;
  if (vorne::read_system(in, back) != vorne::LoadResult::loaded) std::abort();
  return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx::StringInput in(std::string(reinterpret_cast<const char*>(data), size), 1);
  vorne::LensSystem s;
  if (vorne::read_system(in, s) != vorne::LoadResult::loaded) return 0;
  if (s.izend < vorne::kFirstElementRow || s.izend > vorne::kRows) std::abort();
  const vorne::LensSystem once = saved_and_loaded(s);
  const vorne::LensSystem twice = saved_and_loaded(once);
  if (!same_system(once, twice)) std::abort();
  return 0;
}
