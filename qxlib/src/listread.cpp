// List-directed and fixed-field input.
#include "qx/listread.h"

#include <charconv>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

namespace qx {

namespace {

// ---------------------------------------------------------------------------------------
// Numbers, shared by both kinds of read
// ---------------------------------------------------------------------------------------

// Exponents are accumulated up to this size; beyond it every value has long under- or
// overflowed, whatever the (at most 64 KiB) digit string in front of it.
constexpr std::int64_t kExponentCap = 1000000000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
}

// Consumes a run of digits from s at pos; returns how many there were.
std::size_t skip_digits(std::string_view s, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < s.size() && is_digit(s[pos])) ++pos;
  return pos - start;
}

// A real constant: [sign] (digits [. [digits]] | . digits) [exponent], where the exponent
// is a letter E, D or Q with an optional sign and digits, or a sign and digits alone.
// s holds no blanks. Empty on anything else, on overflow and for a value too large for a
// double; a value too small for one reads as zero with its sign.
std::optional<double> parse_real(std::string_view s) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  const std::size_t int_start = pos;
  const std::size_t int_digits = skip_digits(s, pos);
  std::size_t frac_start = pos;
  std::size_t frac_digits = 0;
  if (pos < s.size() && s[pos] == '.') {
    frac_start = ++pos;
    frac_digits = skip_digits(s, pos);
  }
  if (int_digits + frac_digits == 0) return std::nullopt;

  std::int64_t exponent = 0;
  if (pos < s.size()) {
    if (is_exponent_letter(s[pos])) ++pos;
    else if (s[pos] != '+' && s[pos] != '-') return std::nullopt;
    bool exp_negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) exp_negative = s[pos++] == '-';
    if (pos == s.size() || !is_digit(s[pos])) return std::nullopt;
    for (; pos < s.size() && is_digit(s[pos]); ++pos) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (s[pos] - '0');
    }
    if (pos != s.size()) return std::nullopt;
    if (exp_negative) exponent = -exponent;
  }

  // Decimal exponent of the leading digit, to tell underflow from overflow below.
  const std::string digits =
      std::string(s.substr(int_start, int_digits)) + std::string(s.substr(frac_start, frac_digits));
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return negative ? -0.0 : 0.0;
  const std::int64_t magnitude = static_cast<std::int64_t>(int_digits) - static_cast<std::int64_t>(first) + exponent;

  // The standard conversion rounds correctly and ignores the locale.
  std::string text = negative ? "-" : "";
  text += digits;
  text += 'e';
  text += std::to_string(exponent - static_cast<std::int64_t>(frac_digits));
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (magnitude <= 0) return negative ? -0.0 : 0.0;
    return std::nullopt;
  }
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// An integer constant: [sign] digits, within the range of a 64-bit integer.
std::optional<std::int64_t> parse_int(std::string_view s) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  if (pos == s.size()) return std::nullopt;
  // Accumulated as a negative number so that the most negative value fits too.
  std::int64_t value = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (; pos < s.size(); ++pos) {
    if (!is_digit(s[pos])) return std::nullopt;
    const int d = s[pos] - '0';
    if (value < (kMin + d) / 10) return std::nullopt;
    value = value * 10 - d;
  }
  if (!negative) {
    if (value == kMin) return std::nullopt;
    value = -value;
  }
  return value;
}

std::optional<int> to_int(std::optional<std::int64_t> v) {
  if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(*v);
}

// ---------------------------------------------------------------------------------------
// Fixed fields
// ---------------------------------------------------------------------------------------

// The characters of a field that count under BLANK='NULL': up to a comma, without blanks.
// A TAB is not a blank here (the Fortran runtime refuses it in a numeric field).
std::string field_characters(std::string_view field) {
  const std::size_t comma = field.find(',');
  if (comma != std::string_view::npos) field = field.substr(0, comma);
  std::string kept;
  for (const char c : field) {
    if (c != ' ') kept.push_back(c);
  }
  return kept;
}

// The next field of a record with layout Fw or Iw starting at pos; pos moves past it (and
// past the comma that ended it early).
std::string_view next_field(std::string_view record, std::size_t width, std::size_t& pos) {
  if (pos >= record.size()) return {};
  std::string_view field = record.substr(pos, width);
  const std::size_t comma = field.find(',');
  if (comma != std::string_view::npos) {
    pos += comma + 1;
    return field.substr(0, comma);
  }
  pos += field.size();
  return field;
}

// ---------------------------------------------------------------------------------------
// List-directed input
// ---------------------------------------------------------------------------------------

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_separator(char c) { return is_blank(c) || c == ',' || c == '/'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }

// The records one READ uses, and its position in the current one.
class Cursor {
 public:
  explicit Cursor(Input& in) : in_(in) {}
  ReadStatus next_record() {
    pos_ = 0;
    return in_.read_line(record_);
  }
  bool at_end() const { return pos_ >= record_.size(); }
  char peek() const { return record_[pos_]; }
  void advance(std::size_t n = 1) { pos_ += n; }
  std::string_view rest() const { return std::string_view(record_).substr(pos_); }
  void skip_blanks() {
    while (!at_end() && is_blank(peek())) ++pos_;
  }
  // Characters from here up to the next separator or the record end.
  std::string_view take_token() {
    const std::size_t start = pos_;
    while (!at_end() && !is_separator(peek())) ++pos_;
    return std::string_view(record_).substr(start, pos_ - start);
  }

 private:
  Input& in_;
  std::string record_;
  std::size_t pos_ = 0;
};

// One value of the input, repeated count times (r*c or r*); null leaves items unchanged.
struct Value {
  long count = 0;
  bool null = false;
  bool quoted = false;
  std::string text;   // the constant as written, or the contents of a quoted one
};

enum class Scan { value, slash, eof, error };

// A quoted constant starting at the cursor's quote. Doubled quotes stand for one; the
// constant goes on over record ends (which add nothing to it), and the end of the input
// ends it as the Fortran runtime does. It must be followed by a separator.
Scan take_quoted(Cursor& c, Value& v) {
  const char quote = c.peek();
  c.advance();
  v.quoted = true;
  while (true) {
    if (c.at_end()) {
      const ReadStatus st = c.next_record();
      if (st == ReadStatus::eof) return Scan::value;
      if (st != ReadStatus::ok) return Scan::error;
      continue;
    }
    const char ch = c.peek();
    c.advance();
    if (ch != quote) {
      v.text.push_back(ch);
    } else if (!c.at_end() && c.peek() == quote) {
      v.text.push_back(quote);
      c.advance();
    } else {
      break;
    }
  }
  return c.at_end() || is_separator(c.peek()) ? Scan::value : Scan::error;
}

// A repeat count "r*" at the cursor, if there is one (the cursor then stands after the
// "*"); 1 otherwise. A count of 0 or one beyond the range of int is an error (-1).
long take_repeat(Cursor& c) {
  const std::string_view rest = c.rest();
  std::size_t pos = 0;
  const std::size_t ndigits = skip_digits(rest, pos);
  if (ndigits == 0 || pos >= rest.size() || rest[pos] != '*') return 1;
  const std::optional<int> count = to_int(parse_int(rest.substr(0, ndigits)));
  if (!count || *count == 0) return -1;
  c.advance(pos + 1);
  return *count;
}

// Finds the next value of the read. need_separator is true while the last value still
// waits for its separator: a comma then only separates, while without a value before it
// a comma stands for a null value.
Scan next_value(Cursor& c, bool& need_separator, Value& v) {
  v = Value{};
  while (true) {
    c.skip_blanks();
    if (c.at_end()) {
      const ReadStatus st = c.next_record();
      if (st == ReadStatus::eof) return Scan::eof;
      if (st != ReadStatus::ok) return Scan::error;
      continue;
    }
    if (c.peek() == '/') return Scan::slash;
    if (c.peek() != ',') break;
    c.advance();
    if (!need_separator) {
      v.count = 1;
      v.null = true;
      return Scan::value;
    }
    need_separator = false;
  }

  need_separator = true;
  v.count = take_repeat(c);
  if (v.count < 0) return Scan::error;
  if (c.at_end() || is_separator(c.peek())) {
    // "r*" alone stands for r null values; without the "*" this cannot happen here.
    v.null = true;
    return Scan::value;
  }
  if (is_quote(c.peek())) return take_quoted(c, v);
  v.text = std::string(c.take_token());
  return Scan::value;
}

// Stores a value into one item; false when it does not fit the item.
bool assign(const ListItem& item, const Value& v) {
  switch (item.kind()) {
    case ListItem::Kind::real: {
      const std::optional<double> x = v.quoted ? std::nullopt : parse_real(v.text);
      if (!x) return false;
      *item.real() = *x;
      return true;
    }
    case ListItem::Kind::integer: {
      const std::optional<int> k = v.quoted ? std::nullopt : to_int(parse_int(v.text));
      if (!k) return false;
      *item.integer() = *k;
      return true;
    }
    case ListItem::Kind::text: {
      std::string t = v.text.substr(0, item.text_length());
      t.resize(item.text_length(), ' ');
      *item.text() = std::move(t);
      return true;
    }
  }
  return false;
}

}  // namespace

ReadStatus read_list(Input& in, std::span<const ListItem> items) {
  Cursor c(in);
  const ReadStatus first = c.next_record();
  if (first != ReadStatus::ok) return first;

  bool need_separator = false;
  Value v;
  for (const ListItem& item : items) {
    if (v.count == 0) {
      switch (next_value(c, need_separator, v)) {
        case Scan::value:
          break;
        case Scan::slash:
          return ReadStatus::ok;
        case Scan::eof:
          return ReadStatus::eof;
        case Scan::error:
          return ReadStatus::error;
      }
    }
    --v.count;
    if (!v.null && !assign(item, v)) return ReadStatus::error;
  }
  // What is left of the record is dropped with the cursor: the next read starts afresh.
  return ReadStatus::ok;
}

ReadStatus read_reals(Input& in, std::span<double> values) {
  const std::vector<ListItem> items(values.begin(), values.end());
  return read_list(in, items);
}

ReadStatus read_ints(Input& in, std::span<int> values) {
  const std::vector<ListItem> items(values.begin(), values.end());
  return read_list(in, items);
}

std::optional<double> read_fixed_real(std::string_view field) {
  const std::string kept = field_characters(field);
  if (kept.empty()) return 0.0;
  return parse_real(kept);
}

std::optional<std::int64_t> read_fixed_int(std::string_view field) {
  const std::string kept = field_characters(field);
  if (kept.empty()) return 0;
  return parse_int(kept);
}

ReadStatus read_fixed_reals(std::string_view record, std::size_t width, std::span<double> values) {
  std::size_t pos = 0;
  for (double& value : values) {
    const std::optional<double> x = read_fixed_real(next_field(record, width, pos));
    if (!x) return ReadStatus::error;
    value = *x;
  }
  return ReadStatus::ok;
}

ReadStatus read_fixed_ints(std::string_view record, std::size_t width, std::span<int> values) {
  std::size_t pos = 0;
  for (int& value : values) {
    const std::optional<int> k = to_int(read_fixed_int(next_field(record, width, pos)));
    if (!k) return ReadStatus::error;
    value = *k;
  }
  return ReadStatus::ok;
}

ReadStatus read_fixed_reals(Input& in, std::size_t width, std::span<double> values) {
  std::string record;
  const ReadStatus st = in.read_line(record);
  if (st != ReadStatus::ok) return st;
  return read_fixed_reals(record, width, values);
}

ReadStatus read_fixed_ints(Input& in, std::size_t width, std::span<int> values) {
  std::string record;
  const ReadStatus st = in.read_line(record);
  if (st != ReadStatus::ok) return st;
  return read_fixed_ints(record, width, values);
}

}  // namespace qx
