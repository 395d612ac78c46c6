// Helpers shared by the result reports.
#include "reports/reports.h"

#include <optional>
#include <string>

#include "qx/listread.h"
#include "qx/text.h"

namespace vorne {

qx::Answer ask_fixed_real(Vorne& v, const FixedPrompt& prompt, std::size_t width, double& value) {
  static const qx::Format kBad{"(1H ,'?VORNE- Not a number: ',A)"};
  for (;;) {
    if (prompt.with_value)
      v.term.write(prompt.layout, value);
    else
      v.term.write(prompt.layout);
    std::string rec;
    if (v.in().read_line(rec) != qx::ReadStatus::ok) return qx::Answer::end;
    const std::string typed(qx::trim_right(rec));
    if (typed.empty() && prompt.keep_on_empty) {
      if (v.echo()) v.term.list(value);
      return qx::Answer::accepted;
    }
    // Only the field is read; what stands after it is ignored, as the layout says.
    const std::string field = qx::pad(rec, width);
    const std::optional<double> x = qx::read_fixed_real(field);
    if (x) {
      if (v.echo()) v.term.list(*x);
      value = *x;
      return qx::Answer::accepted;
    }
    if (v.echo()) v.term.list(typed);
    v.term.write(kBad, typed);
  }
}

}  // namespace vorne
