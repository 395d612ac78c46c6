#include "fit/fitting.h"

#include <string>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/text.h"

namespace vorne {

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
