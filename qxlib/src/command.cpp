// Command lines in canonical form, the command-table match and the one- or two-number
// answers every numeric prompt of both programs reads.
#include "qx/command.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/session.h"
#include "qx/text.h"

namespace qx {

namespace {

constexpr std::size_t kLineLength = 40;     // a command line is one 40-character record
constexpr std::size_t kWordLength = 6;      // only the first six characters of a word count
constexpr std::size_t kArgStart = 7;        // argument text from column 8
constexpr int kNumberWidth = 13;           // a number is rewritten as 1P,G13.5
constexpr int kNumberDigits = 5;
constexpr std::size_t kExponentField = 3;   // characters after D/E, read as I3
constexpr std::size_t kAnswerLength = 80;   // an answer record is read as A80
constexpr std::size_t kLastSeparator = 79;  // 0-based: a separator in column 80 ends the answer

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Character i (0-based) of a line, with everything past its end read as blank.
char at(const std::string& s, std::size_t i) { return i < s.size() ? s[i] : ' '; }

// The exponent field after a D or E at position k: the next three characters, moved right
// while the last is blank (at most twice), read as I3. 0 when they stay blank or do not read.
int exponent_after(const std::string& buf, std::size_t k) {
  std::string field;
  for (std::size_t i = 1; i <= kExponentField; ++i) field.push_back(at(buf, k + i));
  for (int shift = 0; shift < 2 && field.back() == ' '; ++shift) {
    field.pop_back();
    field.insert(field.begin(), ' ');
  }
  if (field.back() == ' ') return 0;
  const std::optional<std::int64_t> e = read_fixed_int(field);
  return e ? static_cast<int>(*e) : 0;   // I3 holds at most -99..999
}

// Scan of a number at the front of the argument buffer (its sign already taken off).
struct NumberScan {
  bool abandoned = false;      // a character that belongs to no number: text stays as typed
  std::string digits;          // the digits read, in order
  std::size_t point = 0;       // 1-based position of the (last) decimal point, 0 if none
  std::size_t last_digit = 0;  // 1-based position of the last digit
  int exponent = 0;
};

NumberScan scan_number(const std::string& buf) {
  NumberScan n;
  for (std::size_t k = 0; k < kLineLength; ++k) {
    const char c = at(buf, k);
    if (c == ' ') break;
    if (c == 'D' || c == 'E' || c == 'd' || c == 'e') {
      n.exponent = exponent_after(buf, k);
      break;   // nothing after the exponent field belongs to the number
    }
    if (c == '.') {
      n.point = k + 1;
    } else if (is_digit(c)) {
      n.digits.push_back(c);
      n.last_digit = k + 1;
    } else {
      n.abandoned = true;
      break;
    }
  }
  return n;
}

// The digits times 10**shift, rounded once to the nearest double, so that a typed 0.5 is
// exactly 0.5 and 0.3 the double nearest 0.3. (Scaling by powers of ten formed in single
// precision left 0.50000000745 in the value, which every 17-digit echo then showed.)
// Far beyond the double range the value is infinite or 0.
double decimal_value(const std::string& digits, int shift) {
  if (digits.empty()) return 0.0;
  const std::string text = digits + 'e' + std::to_string(shift);
  return std::strtod(text.c_str(), nullptr);
}

// The value of a completed scan: sign, decimal places and exponent applied. An exponent
// whose power of ten is beyond double range makes no number, whatever the digits (0E999).
double scaled_value(const NumberScan& n, double sign) {
  if (n.exponent > std::numeric_limits<double>::max_exponent10) return std::numeric_limits<double>::infinity();
  int shift = n.exponent;
  if (n.point > 0 && n.last_digit > n.point) shift -= static_cast<int>(n.last_digit - n.point);
  return sign * decimal_value(n.digits, shift);
}

// The argument part of QXPARS: fills option-free argument text, number and typed text.
// buf is the line from the first non-blank character after the command word.
void parse_argument(std::string buf, CommandLine& c) {
  buf = pad(buf, kLineLength);
  double sign = 1.0;
  if (buf[0] == '+') buf = pad(buf.substr(1), kLineLength);
  if (buf[0] == '-') {
    sign = -1.0;
    buf = pad(buf.substr(1), kLineLength);
  }
  if (buf[0] == '.' || is_digit(buf[0])) {
    const NumberScan n = scan_number(buf);
    if (n.abandoned) {
      c.number = decimal_value(n.digits, 0);   // the plain digits read so far, unsigned and unscaled
    } else {
      const double value = scaled_value(n, sign);
      // A number beyond double range (9E999) is no number: the text stays as typed.
      if (std::isfinite(value)) {
        c.number = value;
        buf.replace(0, kNumberWidth, pad(edit_g(value, kNumberWidth, kNumberDigits, 1), kNumberWidth));   // 1P,G13.5
      }
    }
  }
  c.line.replace(kArgStart, kLineLength - kArgStart, buf.substr(0, kLineLength - kArgStart));
}

void trace_line(Session& s, const CommandLine& c) {
  static const Format kTrace{"(A,'/',A,' ',A,' ',1P,G13.5,/)"};
  s.out.write(kTrace, c.line.substr(0, kArgStart), std::string(1, c.option), c.line.substr(kArgStart), c.number);
}

// A text of exactly kAnswerLength characters from an answer, for the echo and the scan.
std::string answer_field(std::string_view text) { return pad(text, kAnswerLength); }

// One F20.0 field of an answer, read whole. Empty when it does not read as a finite number.
std::optional<double> answer_number(std::string_view field) {
  const std::optional<double> v = read_fixed_real(field);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

// QXREAD from step 3 on, for an answer already in hand.
Answer read_answer(std::string_view text, Output& out, bool echo, double& first, double& second) {
  static const Format kEcho{"(1H+,A)"};
  const std::string field = answer_field(text);
  if (echo) out.write(kEcho, field.substr(0, std::max<std::size_t>(1, static_cast<std::size_t>(qxlen(field)))));

  // Text past column 80 would be lost unseen, possibly in the middle of a number.
  if (qxlen(text) > static_cast<int>(kAnswerLength)) return Answer::rejected;
  const std::size_t start = field.find_first_not_of(' ');
  if (start == std::string::npos) return Answer::accepted;   // RETURN keeps both defaults

  const std::string answer = pad(field.substr(start), kAnswerLength);
  const std::size_t k = answer.find_first_of(" ,");
  if (k == std::string::npos || k == 0) return Answer::rejected;
  const std::optional<double> a = answer_number(answer.substr(0, k));
  if (!a) return Answer::rejected;
  if (k >= kLastSeparator) {
    first = *a;
    return Answer::accepted;
  }
  const std::size_t rest = answer.find_first_not_of(" ,", k + 1);
  if (rest == std::string::npos) {
    first = *a;
    return Answer::accepted;
  }
  const std::size_t end = answer.find_first_of(" ,", rest);
  const std::optional<double> b =
      answer_number(answer.substr(rest, end == std::string::npos ? std::string::npos : end - rest));
  if (!b) return Answer::rejected;   // both defaults stay, even though the first field read
  first = *a;
  second = *b;
  return Answer::accepted;
}

}  // namespace

char CommandLine::arg_letter() const { return to_upper(line[kArgStart]); }

CommandLine qxpars(std::string_view raw, Session& s) {
  CommandLine c;
  c.cut = qxlen(raw) > static_cast<int>(kLineLength);
  std::string line = pad(raw, kLineLength);

  const std::size_t lead = line.find_first_not_of(' ');
  if (lead != std::string::npos) {
    line = pad(line.substr(lead), kLineLength);

    // Characters past column 40 read as blanks: a line without a blank ends at column 41.
    std::size_t blank = line.find(' ');
    if (blank == std::string::npos) blank = kLineLength;
    const std::size_t slash = line.find('/');
    if (slash != std::string::npos && slash < blank) {
      c.option = to_upper(at(line, slash + 1));   // everything from the slash to the word's end goes
      line = pad(line.substr(0, slash) + line.substr(blank), kLineLength);
      blank = line.find(' ');
      if (blank == std::string::npos) blank = kLineLength;
    }

    c.line.replace(0, kWordLength, upper(pad(line.substr(0, blank), kWordLength)));
    const std::size_t arg = blank < kLineLength ? line.find_first_not_of(' ', blank) : std::string::npos;
    if (arg != std::string::npos) {
      c.typed_arg = std::string(trim_right(line.substr(arg)));
      parse_argument(line.substr(arg), c);
    }
  }

  if (c.line[0] == '#') s.parser_trace = !s.parser_trace;
  if (s.parser_trace) trace_line(s, c);
  return c;
}

CommandLine prepare_line(std::string_view raw, Session& s) {
  bool cut = qxlen(raw) > static_cast<int>(kLineLength);
  std::string rec = pad(raw, kLineLength);
  qxlead(rec, s.out);
  if (rec[0] == '@' || rec[0] == '$' || rec[0] == '!') {
    // The sign becomes a word of its own; the last column drops off.
    if (rec.back() != ' ' && rec.back() != '\t') cut = true;
    rec.insert(1, 1, ' ');
    rec.resize(kLineLength);
  }
  CommandLine c = qxpars(rec, s);
  c.cut = cut;
  return c;
}

int match_command(std::string_view word, std::span<const std::string_view> table) {
  const std::string w = pad(word, kWordLength + 1);
  std::size_t n = w.find(' ');
  if (n == 0) return -1;   // a blank word names no command
  if (n == std::string::npos || n > kWordLength) n = kWordLength;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::string entry = pad(table[i], kWordLength);
    if (qxlen(entry) == 0) continue;
    if (entry.compare(0, n, w, 0, n) == 0) return static_cast<int>(i);
  }
  return -1;
}

Answer qxread(Input& in, Output& out, bool echo, double& first, double& second) {
  std::string rec;
  if (in.read_line(rec) != ReadStatus::ok) return Answer::end;
  return read_answer(rec, out, echo, first, second);
}

Answer qxrdst(std::string_view text, Output& out, bool echo, double& first, double& second) {
  return read_answer(text, out, echo, first, second);
}

void set_switch(Output& out, char letter, bool& flag, const Format& enabled, const Format& disabled,
                const Format& unchanged) {
  if (letter == 'E' || letter == 'D') flag = letter == 'E';
  out.write(letter == 'E' ? enabled : letter == 'D' ? disabled : unchanged);
}

}  // namespace qx
