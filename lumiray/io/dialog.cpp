#include "io/dialog.h"

#include <cmath>
#include <span>

#include "qx/command.h"
#include "qx/listread.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr std::size_t kFixedWidth = 12;   // numbers read with (F12.0)

void say_bad_number(qx::Output& out) {
  static const qx::Format kBadNumber{"(1H ,'?LUMIRAY - Not a valid number, please type it again.')"};
  out.write(kBadNumber);
}

std::string left_trimmed(std::string_view s) {
  const std::size_t start = s.find_first_not_of(" \t");
  if (start == std::string_view::npos) return "";
  return std::string(qx::trim_right(s.substr(start)));
}

}  // namespace

std::string field(std::string_view text, std::size_t n) { return qx::pad(text, n); }

std::string with_default_extension(std::string_view name, std::string_view extension) {
  std::string s(qx::trim_right(name));
  const std::size_t slash = s.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (s.find('.', base) == std::string::npos) s += extension;
  return s;
}

std::optional<std::string> read_answer(Dialogue d) {
  std::string line;
  if (d.in.read_line(line) != qx::ReadStatus::ok) return std::nullopt;
  if (d.echo) d.out.list(std::string(qx::trim_right(line)));
  return line;
}

std::optional<std::string> ask_text(Dialogue d, const qx::Format& prompt) {
  d.out.write(prompt);
  return read_answer(d);
}

std::optional<char> ask_letter(Dialogue d, const qx::Format& prompt) {
  const std::optional<std::string> answer = ask_text(d, prompt);
  if (!answer) return std::nullopt;
  const std::string word = left_trimmed(*answer);
  if (word.empty()) return ' ';
  return qx::upper(word.substr(0, 1))[0];
}

std::optional<bool> ask_yes(Dialogue d, const qx::Format& prompt) {
  const std::optional<char> letter = ask_letter(d, prompt);
  if (!letter) return std::nullopt;
  return *letter == 'Y';
}

std::optional<std::string> ask_file_name(Dialogue d, const qx::Format& prompt, std::size_t width) {
  static const qx::Format kTooLong{"(1H ,'?LUMIRAY - A file name here has at most ',I3,' characters.')"};
  while (true) {
    const std::optional<std::string> answer = ask_text(d, prompt);
    if (!answer) return std::nullopt;
    std::string name = left_trimmed(*answer);
    if (name.size() <= width) return name;
    d.out.write(kTooLong, static_cast<int>(width));
  }
}

bool ask_numbers(Dialogue d, const std::function<void()>& prompt, double& first, double& second) {
  while (true) {
    prompt();
    switch (qx::qxread(d.in, d.out, d.echo, first, second)) {
      case qx::Answer::accepted:
        return true;
      case qx::Answer::end:
        return false;
      case qx::Answer::rejected:
        say_bad_number(d.out);
        break;
    }
  }
}

bool ask_number(Dialogue d, const std::function<void()>& prompt, double& value) {
  double unused = 0.0;
  return ask_numbers(d, prompt, value, unused);
}

std::optional<double> ask_fixed(Dialogue d, const std::function<void()>& prompt) {
  while (true) {
    prompt();
    const std::optional<std::string> answer = read_answer(d);
    if (!answer) return std::nullopt;
    // What stands past the field would be silently lost: the answer is refused instead.
    if (qx::qxlen(*answer) <= static_cast<int>(kFixedWidth)) {
      double v = 0.0;
      if (qx::read_fixed_reals(*answer, kFixedWidth, std::span<double>(&v, 1)) == qx::ReadStatus::ok &&
          std::isfinite(v))
        return v;
    }
    say_bad_number(d.out);
  }
}

}  // namespace lumiray
