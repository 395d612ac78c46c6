// Arbitrary bytes as input records for the list-directed and fixed-field readers. The first
// byte picks the item list; reads follow one another until the input ends, as a program
// reading a hand-edited file would. A value delivered must be finite and a text must have
// its item's length.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "qx/listread.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The lists the programs read: a few reals (records of a system file), many reals (a
// coefficient group), integers (registers), and a mixed list with texts.
void read_until_end(qx::Input& in, unsigned choice) {
  double r[40] = {};
  int k[10] = {};
  std::string t1, t2;
  for (int reads = 0; reads < 1000; ++reads) {
    qx::ReadStatus st = qx::ReadStatus::ok;
    switch (choice % 4) {
      case 0:
        st = qx::read_reals(in, std::span<double>(r, 4));
        if (st == qx::ReadStatus::ok) {
          for (int i = 0; i < 4; ++i) check(std::isfinite(r[i]));
        }
        break;
      case 1:
        st = qx::read_reals(in, std::span<double>(r, 40));
        break;
      case 2:
        st = qx::read_ints(in, std::span<int>(k, 10));
        break;
      default: {
        const qx::ListItem items[] = {r[0], k[0], {t1, 8}, {t2, 0}, r[1]};
        st = qx::read_list(in, items);
        if (st == qx::ReadStatus::ok) {
          check(t1.empty() || t1.size() == 8);
          check(t2.empty());
        }
        break;
      }
    }
    if (st == qx::ReadStatus::eof) return;
  }
}

void read_fixed(qx::Input& in) {
  std::string record;
  while (in.read_line(record) == qx::ReadStatus::ok) {
    if (const auto x = qx::read_fixed_real(record)) check(std::isfinite(*x));
    (void)qx::read_fixed_int(record);
    double pair[2];
    (void)qx::read_fixed_reals(record, 12, pair);
    int three[3];
    (void)qx::read_fixed_ints(record, 3, three);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  qx::StringInput list_in(text);
  read_until_end(list_in, data[0]);
  qx::StringInput fixed_in(text);
  read_fixed(fixed_in);
  return 0;
}
