#include "qx/runup.h"

#include <string>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/text.h"
#include "qx/units.h"

namespace qx {

namespace {

constexpr int kMaxRun = 999999999;   // what the counter's I10 record holds

std::string last_four(int n) {
  std::string t = edit_i(n % 10000, 4);
  return t;
}

}  // namespace

RunNumber qxrunup(Output& out, int unit, std::string_view file) {
  RunNumber r;
  const std::string name(trim_right(file));
  if (name.empty()) return r;
  if (unit <= 0) {
    static const Format kIllegal{"(1H ,'?QXRUNUP - Illegal logical unit number ',I10)"};
    out.write(kIllegal, unit);
    return r;
  }
  static const Format kCount{"(I10)"};
  static const Format kReadError{"(1H ,'Error reading from ',A)"};
  static const Format kWriteError{"(1H ,'Error writing to ',A)"};
  static const Format kCannot{"(1H ,'%RUNUP - Unable to open ',A)"};
  int n = 1;
  if (file_exists(name)) {
    auto in = FileInput::open(name, unit);
    if (!in) {
      out.write(kCannot, name);
      return r;
    }
    std::string rec;
    std::optional<std::int64_t> old;
    if (read_record(*in, rec, 10) == ReadStatus::ok) old = read_fixed_int(rec);
    if (old && *old >= 0 && *old < kMaxRun) {
      n = static_cast<int>(*old) + 1;
    } else {
      out.write(kReadError, name);   // start again from 1 rather than stop the command
    }
  }
  auto w = FileOutput::open(name, FileOutput::Mode::atomic, unit);
  if (!w) {
    out.write(kCannot, name);
    return r;
  }
  w->write(kCount, n);
  if (!w->commit()) out.write(kWriteError, name);
  r.n = n;
  r.text = last_four(n);
  return r;
}

}  // namespace qx
