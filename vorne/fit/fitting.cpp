#include "fit/fitting.h"

#include <string>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/text.h"

namespace vorne {

qx::StepitSettings fit_settings(std::span<const double> start, double smallest_step) {
  qx::StepitSettings settings;
  settings.nv = static_cast<int>(start.size());
  for (std::size_t i = 0; i < start.size(); ++i) {
    settings.x[i] = start[i];
    settings.delmin[i] = smallest_step;
  }
  settings.ntrace = -1;
  settings.matrx = 0;
  return settings;
}

void say_no_groups(Vorne& v) {
  static const qx::Format kNoGroups{"(1H ,'No variable first order elements.')"};
  v.term.write(kNoGroups);
}

qx::Answer read_number(Vorne& v, double& value, double& second, bool& empty) {
  std::string rec;
  empty = false;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return qx::Answer::end;
  empty = qx::qxlen(rec) == 0;
  return qx::qxrdst(rec, v.term, v.echo(), value, second);
}

}  // namespace vorne
