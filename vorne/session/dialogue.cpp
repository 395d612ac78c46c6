#include "session/dialogue.h"

#include <cstdint>
#include <optional>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/text.h"

namespace vorne {

qx::Answer read_text_answer(Vorne& v, std::size_t width, std::string& answer) {
  static const qx::Format kTooLong{"(1H ,'?VORNE- Answer longer than ',I3,' characters; nothing done.')"};
  std::string rec;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return qx::Answer::end;
  const std::string text(qx::trim_right(rec));
  if (v.echo()) v.term.list(text);
  if (text.size() > width) {
    v.term.write(kTooLong, static_cast<int>(width));
    return qx::Answer::rejected;
  }
  answer = text;
  return qx::Answer::accepted;
}

qx::Answer read_int_answer(Vorne& v, std::size_t width, int& value) {
  std::string rec;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return qx::Answer::end;
  const std::optional<std::int64_t> n = qx::read_fixed_int(qx::pad(rec, width));
  if (v.echo()) {
    if (n)
      v.term.list(static_cast<int>(*n));
    else
      v.term.list(std::string(qx::trim_right(rec)));
  }
  if (!n) return qx::Answer::rejected;
  value = static_cast<int>(*n);   // at most a few digits: always within int
  return qx::Answer::accepted;
}

qx::Answer ask_output_name(Vorne& v, std::size_t width, std::string& name) {
  static const qx::Format kAsk{"(1H ,'Filename for output > ',$)"};
  v.term.write(kAsk);
  return read_text_answer(v, width, name);
}

void say_unable_to_open(Vorne& v, const std::string& name) {
  static const qx::Format kUnable{"(1H ,'Unable to open ',A)"};
  v.term.write(kUnable, name);
}

std::string argument_name(const qx::CommandLine& line) {
  if (line.cut) return {};
  return std::string(qx::trim_right(line.typed_arg));
}

}  // namespace vorne
