// Fortran 77 style record formatting: the edit functions, parsed layouts and
// list-directed records. See qx/format.h for the fixed choices.
#include "qx/format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace qx {
namespace {

// ---------------------------------------------------------------------------------------
// Decimal digits of a double
// ---------------------------------------------------------------------------------------

// Significant digits of the first, cheap conversion. Every layout of the programs needs at
// most 17 (list-directed output); the rest are guard digits that settle the rounding.
constexpr int kFastDigits = 24;
// More than the longest exact decimal expansion of a double (767 significant digits), so a
// conversion to this many digits is exact and padded with zeros.
constexpr int kExactDigits = 800;

// A rounded magnitude: 0.d1 d2 ... dn x 10^exp; digits past n are zero; n == 0 is zero.
struct Decimal {
  const char* digits = nullptr;
  int n = 0;
  int exp = 0;
  char at(int i) const { return i >= 0 && i < n ? digits[i] : '0'; }
};

// The decimal digits of a positive finite double. The exponent is exact; rounding to any
// number of significant digits is exact too, with exact ties rounded away from zero. The
// cheap conversion decides nearly every case; only when its guard digits read exactly
// 5000... (a possible tie) or more digits are wanted is the exact expansion produced, and
// it is only as long as the value's binary fraction makes it.
class Digits {
 public:
  explicit Digits(double a) : a_(a) {
    int e2 = 0;
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(std::frexp(a, &e2), 53));
    q_ = e2 - 53 + std::countr_zero(mantissa);
    convert(kFastDigits);
    exact_ = exact_length() <= kFastDigits;
    // A value just below a power of ten may have been rounded up to it, which would make the
    // exponent one too high; the exact expansion settles it.
    if (!exact_ && digits_[0] == '1' && all_zero_after(1)) make_exact();
  }

  // The decimal exponent of the unrounded value: 10^(exp-1) <= a < 10^exp.
  int exponent() const { return exp_; }

  // The value rounded to `count` significant digits (count <= 0 rounds at or above the
  // leading digit). The digits are rounded in place: call once.
  Decimal round(int count) {
    if (count < 0) return Decimal{digits_, 0, exp_};
    if (count >= ndig_ && !exact_) make_exact();
    if (count >= ndig_) return Decimal{digits_, ndig_, exp_};   // exact: nothing to round
    const char next = digits_[count];
    if (next == '5' && !exact_ && all_zero_after(count + 1)) {
      make_exact();   // the guard digits cannot tell a tie: look at the exact value
      return round(count);
    }
    if (next < '5') return Decimal{digits_, count, exp_};
    // Above halfway, or exactly halfway: away from zero.
    int i = count - 1;
    while (i >= 0 && digits_[i] == '9') digits_[i--] = '0';
    if (i >= 0) {
      ++digits_[i];
      return Decimal{digits_, count, exp_};
    }
    digits_[0] = '1';   // carried into a new leading digit: 0.999.. -> 1.000..
    return Decimal{digits_, std::max(count, 1), exp_ + 1};
  }

 private:
  // Significant digits of the exact expansion: a = odd x 2^q ends at the 10^q place when
  // q < 0 and is a whole number otherwise.
  int exact_length() const { return q_ >= 0 ? exp_ : exp_ - q_; }

  void make_exact() {
    convert(std::clamp(exact_length(), kFastDigits, kExactDigits));
    exact_ = true;
  }

  // digits_ := the first `ndig` significant digits of a_ (correctly rounded), exp_ likewise.
  void convert(int ndig) {
    char buf[kExactDigits + 16];
    const auto res = std::to_chars(buf, buf + sizeof buf, a_, std::chars_format::scientific, ndig - 1);
    digits_[0] = buf[0];
    std::memcpy(digits_ + 1, buf + 2, static_cast<std::size_t>(ndig - 1));
    int e = 0;
    std::from_chars(buf + ndig + 2 + (buf[ndig + 2] == '+' ? 1 : 0), res.ptr, e);
    exp_ = e + 1;
    ndig_ = ndig;
  }

  bool all_zero_after(int from) const {
    for (int i = from; i < ndig_; ++i) {
      if (digits_[i] != '0') return false;
    }
    return true;
  }

  double a_;
  int q_ = 0;             // a = odd x 2^q
  int ndig_ = 0;          // digits held
  int exp_ = 0;           // 10^(exp-1) <= a < 10^exp
  bool exact_ = false;    // the digits held are the whole exact expansion (zeros beyond)
  char digits_[kExactDigits];
};

// ---------------------------------------------------------------------------------------
// Field editing (appending to a record)
// ---------------------------------------------------------------------------------------

// Powers of ten as integers, for exponent fields of up to nine digits.
constexpr std::array<int, 10> kPow10Int = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// v (>= 0) in exactly `count` digits, with leading zeros.
void append_digits(std::string& out, int v, int count) {
  const std::size_t at = out.size();
  out.append(static_cast<std::size_t>(count), '0');
  for (std::size_t i = out.size(); i > at && v > 0; --i, v /= 10) out[i - 1] = static_cast<char>('0' + v % 10);
}

void put_stars(std::string& out, int w) { out.append(static_cast<std::size_t>(std::max(w, 0)), '*'); }

void put_right(std::string& out, std::string_view s, int w) {
  out.append(static_cast<std::size_t>(w) - s.size(), ' ');
  out.append(s);
}

// NaN and infinities, right-justified as the reference runtime writes them.
void put_nonfinite(std::string& out, double v, int w) {
  if (std::isnan(v)) {
    if (w < 3) return put_stars(out, w);
    return put_right(out, "NaN", w);
  }
  const bool neg = v < 0;
  if (w < 3 || (neg && w < 4)) return put_stars(out, w);
  if (neg) return put_right(out, w >= 9 ? "-Infinity" : "-Inf", w);
  put_right(out, w >= 8 ? "Infinity" : "Inf", w);
}

// Fw.d with scale factor k of a value given by its sign and digits (null: zero).
void f_field(std::string& out, bool neg, Digits* dg, int w, int d, int k) {
  // The integer digits alone may already overflow the field: no need to round then.
  if (dg != nullptr) {
    const long least = (neg ? 1L : 0L) + std::max(dg->exponent() + k, 0) + 1L + d;
    if (least > w) return put_stars(out, w);
  }
  const Decimal r = dg != nullptr ? dg->round(dg->exponent() + k + d) : Decimal{};
  const int t = r.n == 0 ? 0 : r.exp + k;   // the external value is 0.ddd x 10^t
  const int int_digits = std::max(t, 0);
  int len = (neg ? 1 : 0) + int_digits + 1 + d;
  // The zero before the point is written when there is room, and always when it would
  // otherwise be the only digit missing ("0." for F2.0).
  const bool lead_zero = int_digits == 0 && (d == 0 || len < w);
  if (lead_zero) ++len;
  if (len > w) return put_stars(out, w);
  out.append(static_cast<std::size_t>(w - len), ' ');
  if (neg) out += '-';
  if (lead_zero) out += '0';
  for (int i = 0; i < int_digits; ++i) out += r.at(i);
  out += '.';
  for (int j = 0; j < d; ++j) out += r.at(t + j);
}

// Ew.d / Ew.dEe / Dw.d with scale factor k (e == 0: the default exponent field).
void e_field(std::string& out, bool neg, Digits* dg, int w, int d, int k, int e, char letter) {
  if (k <= -d || k >= d + 2) return put_stars(out, w);   // no digits left to show
  const int sig = k <= 0 ? d + k : d + 1;
  Decimal r;
  int x = 0;
  if (dg != nullptr) {
    r = dg->round(sig);
    x = r.exp - k;
  }
  // Exponent field: E+dd, or +ddd without the letter for three digits; with Ee, E and e digits.
  const int ax = x < 0 ? -x : x;
  int exp_digits = e;
  if (e == 0) {
    if (ax > 999) return put_stars(out, w);
    exp_digits = ax <= 99 ? 2 : 3;
  } else if (e < static_cast<int>(kPow10Int.size()) && ax >= kPow10Int[static_cast<std::size_t>(e)]) {
    return put_stars(out, w);
  }
  const bool exp_letter = e != 0 || ax <= 99;
  const int exp_len = (exp_letter ? 2 : 1) + exp_digits;
  const int mant_len = k <= 0 ? 1 + (-k) + sig : 1 + sig;
  int len = (neg ? 1 : 0) + mant_len + exp_len;
  const bool lead_zero = k <= 0 && len < w;
  if (lead_zero) ++len;
  if (len > w) return put_stars(out, w);
  out.append(static_cast<std::size_t>(w - len), ' ');
  if (neg) out += '-';
  if (k <= 0) {
    if (lead_zero) out += '0';
    out += '.';
    out.append(static_cast<std::size_t>(-k), '0');
    for (int i = 0; i < sig; ++i) out += r.at(i);
  } else {
    for (int i = 0; i < k; ++i) out += r.at(i);
    out += '.';
    for (int i = k; i < sig; ++i) out += r.at(i);
  }
  if (exp_letter) out += letter;
  out += x < 0 ? '-' : '+';
  append_digits(out, ax, exp_digits);
}

// Gw.d / Gw.dEe, choosing the form on the unrounded magnitude; zero takes the E form.
void g_field(std::string& out, bool neg, Digits* dg, int w, int d, int k, int e) {
  if (dg == nullptr) return e_field(out, neg, nullptr, w, d, k, e, 'E');
  const int x = dg->exponent();   // 10^(x-1) <= |v| < 10^x
  if (x < 0 || x > d) return e_field(out, neg, dg, w, d, k, e, 'E');
  const int n = e == 0 ? 4 : e + 2;   // blanks that stand in for the exponent
  if (w - n < 1) return put_stars(out, w);
  f_field(out, neg, dg, w - n, d - x, 0);   // asterisks in its own columns when too narrow
  out.append(static_cast<std::size_t>(n), ' ');
}

// Calls one of the real-number fields with the value's sign and digits.
template <typename Field>
void with_digits(double v, Field field) {
  const bool neg = v < 0;   // -0.0 compares equal to zero: it gets no minus sign
  if (v == 0) return field(neg, nullptr);
  Digits dg(std::fabs(v));
  field(neg, &dg);
}

void put_f(std::string& out, double v, int w, int d, int k) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  with_digits(v, [&](bool neg, Digits* dg) { f_field(out, neg, dg, w, d, k); });
}

void put_e(std::string& out, double v, int w, int d, int k, int e, char letter) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  with_digits(v, [&](bool neg, Digits* dg) { e_field(out, neg, dg, w, d, k, e, letter); });
}

void put_g(std::string& out, double v, int w, int d, int k, int e) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  with_digits(v, [&](bool neg, Digits* dg) { g_field(out, neg, dg, w, d, k, e); });
}

void put_i(std::string& out, std::int64_t v, int w, int m) {
  const std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, mag);
  int nd = static_cast<int>(res.ptr - buf);
  if (m == 0 && v == 0) nd = 0;   // Iw.0 writes zero as blanks
  const int zeros = m > nd ? m - nd : 0;
  const int len = (v < 0 ? 1 : 0) + zeros + nd;
  if (len > w) return put_stars(out, w);
  out.append(static_cast<std::size_t>(w - len), ' ');
  if (v < 0) out += '-';
  out.append(static_cast<std::size_t>(zeros), '0');
  out.append(buf, static_cast<std::size_t>(nd));
}

void put_a(std::string& out, std::string_view s, int w) {
  if (w < 0 || static_cast<std::size_t>(w) == s.size()) {
    out.append(s);
  } else if (static_cast<std::size_t>(w) < s.size()) {
    out.append(s.substr(0, static_cast<std::size_t>(w)));
  } else {
    put_right(out, s, w);
  }
}

// ---------------------------------------------------------------------------------------
// List-directed items, in the reference runtime's layout
// ---------------------------------------------------------------------------------------

// Reals: 17 significant digits in a 25-column field, in F form (20 columns and five blanks)
// when the rounded value lies in [0.1, 1E17), else 1P E form with a three-digit exponent.
constexpr int kListRealWidth = 25;
constexpr int kListRealDigits = 17;
constexpr int kListRealTrail = 5;
// Integers: 11 columns for the default integer kind, 20 beyond its range.
constexpr int kListIntWidth = 11;
constexpr int kListLongWidth = 20;

void list_real(std::string& out, double v) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, kListRealWidth);
  const bool neg = v < 0;
  char field[kListRealWidth + 8];
  int len = 0;
  if (neg) field[len++] = '-';
  if (v == 0) {
    // Zero is written like a value in [1, 10).
    field[len++] = '0';
    field[len++] = '.';
    for (int i = 1; i < kListRealDigits; ++i) field[len++] = '0';
  } else {
    Digits dg(std::fabs(v));
    const Decimal r = dg.round(kListRealDigits);
    if (r.exp >= 0 && r.exp <= kListRealDigits) {
      if (r.exp == 0) field[len++] = '0';
      for (int i = 0; i < r.exp; ++i) field[len++] = r.at(i);
      field[len++] = '.';
      for (int i = r.exp; i < kListRealDigits; ++i) field[len++] = r.at(i);
    } else {
      field[len++] = r.at(0);
      field[len++] = '.';
      for (int i = 1; i < kListRealDigits; ++i) field[len++] = r.at(i);
      const int x = r.exp - 1;
      const int ax = x < 0 ? -x : x;
      field[len++] = 'E';
      field[len++] = x < 0 ? '-' : '+';
      field[len++] = static_cast<char>('0' + ax / 100);
      field[len++] = static_cast<char>('0' + ax / 10 % 10);
      field[len++] = static_cast<char>('0' + ax % 10);
      return put_right(out, std::string_view(field, static_cast<std::size_t>(len)), kListRealWidth);
    }
  }
  put_right(out, std::string_view(field, static_cast<std::size_t>(len)), kListRealWidth - kListRealTrail);
  out.append(static_cast<std::size_t>(kListRealTrail), ' ');
}

void list_integer(std::string& out, std::int64_t v) {
  const bool fits = v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
  put_i(out, v, fits ? kListIntWidth : kListLongWidth, -1);
}

// ---------------------------------------------------------------------------------------
// Parsed layouts
// ---------------------------------------------------------------------------------------

// Largest number accepted in a layout (widths, digits, counts): far above any real record.
constexpr long kMaxNumber = 32767;
// Deepest nesting of parentheses.
constexpr int kMaxDepth = 32;
// Most characters and steps one pass through a layout may cost, so that a mistyped repeat
// count is refused when the layout is parsed instead of producing gigabytes of blanks.
constexpr double kMaxPassCost = 1e6;

enum class Op : unsigned char { literal, skip, slash, colon, dollar, scale, edit, open, close };

struct Item {
  Op op = Op::literal;
  char code = 0;      // edit: 'A', 'I', 'F', 'E', 'D' or 'G'
  int count = 1;      // edit, open, slash: repeat count; skip: positions; scale: the factor
  int w = -1;         // edit: field width (-1: plain A)
  int d = -1;         // edit: digits after the point (I: minimum digits, -1 none)
  int e = 0;          // edit: exponent digits (0: default)
  std::size_t match = 0;   // open: index of its close; close: index of its open
  std::string text;   // literal
};

Item make_item(Op op, int count = 1) {
  Item it;
  it.op = op;
  it.count = count;
  return it;
}

Item make_literal(std::string text) {
  Item it;
  it.text = std::move(text);
  return it;
}

// A plain A counts one: its text is the caller's.
double edit_cost(const Item& it) { return it.w > 0 ? it.w : 1; }

class LayoutParser {
 public:
  explicit LayoutParser(std::string_view s) : s_(s) {}

  std::vector<Item> parse() {
    skip_blanks();
    if (pos_ >= s_.size() || s_[pos_] != '(') fail("a layout begins with '('");
    ++pos_;
    items_at_depth(1);
    skip_blanks();
    if (pos_ != s_.size()) fail("text after the closing parenthesis");
    return std::move(items_);
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw std::invalid_argument("Bad layout \"" + std::string(s_) + "\" at column " + std::to_string(pos_ + 1) +
                                ": " + why);
  }

  void skip_blanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }

  char peek_upper() {
    skip_blanks();
    if (pos_ >= s_.size()) fail("missing closing parenthesis");
    const char c = s_[pos_];
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }

  bool at_digit() {
    skip_blanks();
    return pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9';
  }

  // An unsigned number, or -1 when none stands here.
  int number() {
    if (!at_digit()) return -1;
    long v = 0;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
      v = v * 10 + (s_[pos_++] - '0');
      if (v > kMaxNumber) fail("number larger than " + std::to_string(kMaxNumber));
    }
    return static_cast<int>(v);
  }

  int required_number(const char* what) {
    const int v = number();
    if (v < 0) fail(std::string("missing ") + what);
    return v;
  }

  void push(Item it) {
    if (it.op != Op::slash && it.op != Op::colon && it.op != Op::dollar && it.op != Op::scale) {
      if (need_comma_) fail("missing comma between items");
      need_comma_ = true;
    } else {
      need_comma_ = false;   // commas are optional around '/', ':', '$' and after kP
    }
    items_.push_back(std::move(it));
  }

  void items_at_depth(int depth) {
    if (depth > kMaxDepth) fail("groups nested too deeply");
    bool item_since_comma = false;
    need_comma_ = false;
    for (;;) {
      const char c = peek_upper();
      if (c == ')') {
        if (!item_since_comma && !items_.empty() && items_.back().op != Op::open) fail("empty item before ')'");
        ++pos_;
        need_comma_ = true;
        return;
      }
      if (c == ',') {
        if (!item_since_comma) fail("empty item");
        ++pos_;
        item_since_comma = false;
        need_comma_ = false;
        continue;
      }
      item(depth);
      item_since_comma = true;
    }
  }

  void item(int depth) {
    // An optional signed number: a repeat count, a count of X or H, or a scale factor.
    int sign = 0;
    if (peek_upper() == '+' || s_[pos_] == '-') {
      sign = s_[pos_] == '-' ? -1 : 1;
      ++pos_;
      if (!at_digit()) fail("sign without a number");
    }
    const int n = number();
    const char c = peek_upper();
    if (sign != 0 && c != 'P') fail("a signed number must be a scale factor (kP)");
    if (c == 'P') {
      if (n < 0) fail("P needs a scale factor before it");
      ++pos_;
      push(make_item(Op::scale, sign < 0 ? -n : n));
      return;
    }
    if (n == 0) fail("count must be positive");
    switch (c) {
      case '/':
        ++pos_;
        return push(make_item(Op::slash, n < 0 ? 1 : n));
      case ':':
      case '$':
        if (n >= 0) fail("no count allowed here");
        ++pos_;
        return push(make_item(c == ':' ? Op::colon : Op::dollar));
      case '(': {
        ++pos_;
        push(make_item(Op::open, n < 0 ? 1 : n));
        const std::size_t open = items_.size() - 1;
        items_at_depth(depth + 1);
        items_.push_back(make_item(Op::close));
        items_.back().match = open;
        items_[open].match = items_.size() - 1;
        return;
      }
      case 'H': {
        if (n < 0) fail("H needs a character count before it");
        ++pos_;
        if (s_.size() - pos_ < static_cast<std::size_t>(n)) fail("H count runs past the end of the layout");
        push(make_literal(std::string(s_.substr(pos_, static_cast<std::size_t>(n)))));
        pos_ += static_cast<std::size_t>(n);
        return;
      }
      case '\'':
      case '"':
        if (n >= 0) fail("no count allowed before a quoted literal");
        return push(make_literal(quoted()));
      case 'X':
        ++pos_;
        return push(make_item(Op::skip, n < 0 ? 1 : n));
      case 'A':
      case 'I':
      case 'F':
      case 'E':
      case 'D':
      case 'G':
        ++pos_;
        return push(edit(c, n < 0 ? 1 : n));
      default:
        fail(std::string("unknown edit descriptor '") + s_[pos_] + "'");
    }
  }

  std::string quoted() {
    const char q = s_[pos_++];
    std::string text;
    for (;;) {
      if (pos_ >= s_.size()) fail("unterminated literal");
      if (s_[pos_] == q) {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == q) {   // a doubled quote stands for one
          text += q;
          pos_ += 2;
          continue;
        }
        ++pos_;
        return text;
      }
      text += s_[pos_++];
    }
  }

  Item edit(char code, int repeat) {
    Item it = make_item(Op::edit, repeat);
    it.code = code;
    if (code == 'A') {
      it.w = number();
      if (it.w == 0) fail("field width must be positive");
      return it;
    }
    it.w = required_number("field width");
    if (it.w == 0) fail("field width must be positive");
    if (code == 'I') {
      if (peek_upper() == '.') {
        ++pos_;
        it.d = required_number("minimum digit count");
        if (it.d > it.w) fail("minimum digits exceed the field width");
      }
      return it;
    }
    if (peek_upper() != '.') fail("missing '.d'");
    ++pos_;
    it.d = required_number("digit count");
    if ((code == 'E' || code == 'G') && peek_upper() == 'E') {
      ++pos_;
      it.e = required_number("exponent digit count");
      if (it.e == 0) fail("exponent digit count must be positive");
    }
    return it;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  bool need_comma_ = false;
  std::vector<Item> items_;
};

// The characters and steps of one pass through items [from, to), repeats included.
double pass_cost(const std::vector<Item>& items, std::size_t from, std::size_t to) {
  double cost = 0;
  for (std::size_t i = from; i < to; ++i) {
    const Item& it = items[i];
    switch (it.op) {
      case Op::literal: cost += static_cast<double>(it.text.size()) + 1; break;
      case Op::skip:
      case Op::slash: cost += it.count; break;
      case Op::edit: cost += it.count * edit_cost(it); break;
      case Op::open:
        cost += it.count * (pass_cost(items, i + 1, it.match) + 1);
        i = it.match;
        break;
      default: cost += 1; break;
    }
  }
  return cost;
}

}  // namespace

struct Format::Node {
  std::vector<Item> items;
  std::size_t reversion = 0;        // where format reversion resumes
  bool reversion_has_edit = false;  // whether that part can take a value at all
};

namespace {

// One application of a layout to a list of values.
class Renderer {
 public:
  Renderer(const Format::Node& f, std::span<const FormatArg> args, std::string& out) : f_(f), args_(args), out_(out) {}

  void run() {
    std::size_t pos = 0;
    for (;;) {
      if (pos == f_.items.size()) {
        // Format reversion: a new record, back to the last top-level group (or the start).
        if (next_ == args_.size() || !f_.reversion_has_edit) break;
        end_record();
        pos = f_.reversion;
        depth_ = 0;
        continue;
      }
      const Item& it = f_.items[pos];
      switch (it.op) {
        case Op::literal:
          put_pending();
          out_ += it.text;
          break;
        case Op::skip: pending_ += it.count; break;
        case Op::slash:
          for (int i = 0; i < it.count; ++i) end_record();
          break;
        case Op::colon:
          if (next_ == args_.size()) return finish();
          break;
        case Op::dollar: dollar_ = true; break;
        case Op::scale: scale_ = it.count; break;
        case Op::edit:
          for (int i = 0; i < it.count; ++i) {
            if (next_ == args_.size()) return finish();
            put_pending();
            edit(it, args_[next_++]);
          }
          break;
        case Op::open: stack_[depth_++] = Level{pos, it.count}; break;
        case Op::close:
          if (--stack_[depth_ - 1].left > 0) {
            pos = stack_[depth_ - 1].open;
          } else {
            --depth_;
          }
          break;
      }
      ++pos;
    }
    finish();
  }

 private:
  struct Level {
    std::size_t open;
    int left;
  };

  void finish() {
    if (!dollar_) out_ += '\n';
  }

  void end_record() {
    out_ += '\n';
    pending_ = 0;
    dollar_ = false;
  }

  // Positions skipped by X become blanks only when something follows them in the record.
  void put_pending() {
    if (pending_ > 0) out_.append(static_cast<std::size_t>(pending_), ' ');
    pending_ = 0;
  }

  // A value that does not suit its descriptor is written as asterisks, never misread.
  void edit(const Item& it, const FormatArg& a) {
    switch (it.code) {
      case 'A':
        if (a.kind() == FormatArg::Kind::text) return put_a(out_, a.text(), it.w);
        // a plain A takes the width of the datum's storage: 8 for a real, 4 for an integer
        return put_stars(out_, it.w >= 0 ? it.w : a.kind() == FormatArg::Kind::real ? 8 : 4);
      case 'I':
        if (a.kind() == FormatArg::Kind::text) return put_stars(out_, it.w);
        if (a.kind() == FormatArg::Kind::real) {
          const double t = std::trunc(a.real());
          if (!(std::fabs(t) < 9.2233720368547758e18)) return put_stars(out_, it.w);
          return put_i(out_, static_cast<std::int64_t>(t), it.w, it.d);
        }
        return put_i(out_, a.integer(), it.w, it.d);
      default:
        break;
    }
    if (a.kind() == FormatArg::Kind::text) return put_stars(out_, it.w);
    const double v = a.real();
    switch (it.code) {
      case 'F': return put_f(out_, v, it.w, it.d, scale_);
      case 'E': return put_e(out_, v, it.w, it.d, scale_, it.e, 'E');
      case 'D': return put_e(out_, v, it.w, it.d, scale_, 0, 'D');
      default: return put_g(out_, v, it.w, it.d, scale_, it.e);
    }
  }

  const Format::Node& f_;
  std::span<const FormatArg> args_;
  std::string& out_;
  std::size_t next_ = 0;   // next value to edit
  int scale_ = 0;          // kP in force: set by P, kept across records and reversion
  int pending_ = 0;        // positions skipped by X, not yet written
  bool dollar_ = false;    // '$' met in the record in progress: leave it open
  int depth_ = 0;
  std::array<Level, kMaxDepth> stack_{};
};

void check_field(int w, int d) {
  if (w < 1 || w > kMaxNumber || d < 0 || d > kMaxNumber) {
    throw std::invalid_argument("edit field width " + std::to_string(w) + " or digits " + std::to_string(d) +
                                " out of range");
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Public interface
// ---------------------------------------------------------------------------------------

std::int64_t FormatArg::integer() const {
  if (kind_ == Kind::integer) return int_;
  if (kind_ == Kind::text || std::isnan(real_)) return 0;
  constexpr double kLimit = 9.2233720368547758e18;   // 2^63
  if (real_ >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (real_ <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(real_);   // truncates toward zero
}

std::string edit_f(double v, int w, int d, int k) {
  check_field(w, d);
  std::string out;
  put_f(out, v, w, d, k);
  return out;
}

std::string edit_e(double v, int w, int d, int k, int e) {
  check_field(w, d);
  check_field(w, e);
  std::string out;
  put_e(out, v, w, d, k, e, 'E');
  return out;
}

std::string edit_g(double v, int w, int d, int k, int e) {
  check_field(w, d);
  check_field(w, e);
  std::string out;
  put_g(out, v, w, d, k, e);
  return out;
}

std::string edit_i(std::int64_t v, int w, int m) {
  check_field(w, std::max(m, 0));
  std::string out;
  put_i(out, v, w, m);
  return out;
}

std::string edit_a(std::string_view s, int w) {
  if (w > kMaxNumber) check_field(w, 0);
  std::string out;
  put_a(out, s, w);
  return out;
}

Format::Format(std::string_view layout) : root_(std::make_unique<Node>()) {
  root_->items = LayoutParser(layout).parse();
  const auto& items = root_->items;
  if (pass_cost(items, 0, items.size()) > kMaxPassCost) {
    throw std::invalid_argument("Bad layout \"" + std::string(layout) + "\": repeat counts too large");
  }
  // Reversion resumes at the group whose '(' is the last one at the top level.
  int depth = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].op == Op::open && depth++ == 0) root_->reversion = i;
    if (items[i].op == Op::close) --depth;
  }
  root_->reversion_has_edit = std::any_of(items.begin() + static_cast<std::ptrdiff_t>(root_->reversion), items.end(),
                                          [](const Item& it) { return it.op == Op::edit; });
}

Format::~Format() = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;

std::string Format::render(std::span<const FormatArg> args) const {
  std::string out;
  Renderer(*root_, args, out).run();
  return out;
}

std::string render_list(std::span<const FormatArg> args) {
  std::string out;
  if (!args.empty()) out += ' ';
  for (std::size_t i = 0; i < args.size(); ++i) {
    const FormatArg& a = args[i];
    // Items are separated by a blank, except that adjacent texts run together.
    if (i > 0 && !(a.kind() == FormatArg::Kind::text && args[i - 1].kind() == FormatArg::Kind::text)) out += ' ';
    switch (a.kind()) {
      case FormatArg::Kind::text: out += a.text(); break;
      case FormatArg::Kind::integer: list_integer(out, a.integer()); break;
      case FormatArg::Kind::real: list_real(out, a.real()); break;
    }
  }
  out += '\n';
  return out;
}

}  // namespace qx
