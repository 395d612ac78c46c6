// Fortran 77 style record formatting.
//
// Every formatted record of both programs is produced here from a layout written in
// edit-descriptor notation, for example "(1H ,'Title: ',A)" or "(1H ,I2,1X,A,F5.2,11(1X,1P,G11.4))".
// The text produced is exactly what a Fortran 77 runtime writes, with these fixed choices:
//   - G editing chooses F or E form on the magnitude before rounding; zero takes the E form.
//   - A value exactly halfway between two results rounds away from zero.
//   - -0.0 is written without a sign; a negative value that rounds to zero keeps its minus.
//   - A three-digit exponent drops the letter E ("1.00000-300").
//   - A field too narrow for its value is filled with asterisks (in G's F form, the F
//     columns; the blanks that stand for the exponent stay).
// The carriage-control character given by a leading 1H (a blank or "+") is written as the
// ordinary first character of the record. Records end with '\n'; a "$" suppresses the
// line end of the record in progress when the format ends, so the next write continues it
// (a record ended by "/" or by format reversion after the "$" ends as usual).
// Positions skipped by nX become blanks only when something is written after them.
// A value of the wrong kind for its descriptor never stops a program: an integer given to
// F, E, D or G is converted, a real given to I is truncated toward zero (asterisks when it
// is not finite or out of range), and a number given to A or a text given to a numeric
// descriptor is written as asterisks of the field width (plain A: 8 for a real, 4 for an
// integer, the storage widths of the Fortran data).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

// ---- Pure edit functions (one field each). k is the scale factor (nP) in force. ----

// Fw.d
std::string edit_f(double v, int w, int d, int k = 0);
// Ew.d or Ew.dEe (e = 0: default exponent field)
std::string edit_e(double v, int w, int d, int k = 0, int e = 0);
// Gw.d or Gw.dEe
std::string edit_g(double v, int w, int d, int k = 0, int e = 0);
// Iw or Iw.m (m < 0: no minimum digit count)
std::string edit_i(std::int64_t v, int w, int m = -1);
// Aw (w < 0: plain A, the text's own length)
std::string edit_a(std::string_view s, int w = -1);

// One value handed to a format: a real, an integer or a text.
class FormatArg {
 public:
  enum class Kind { real, integer, text };
  FormatArg(double v) : kind_(Kind::real), real_(v) {}                       // NOLINT
  FormatArg(float v) : kind_(Kind::real), real_(v) {}                        // NOLINT
  FormatArg(int v) : kind_(Kind::integer), int_(v) {}                        // NOLINT
  FormatArg(long v) : kind_(Kind::integer), int_(v) {}                       // NOLINT
  FormatArg(long long v) : kind_(Kind::integer), int_(v) {}                  // NOLINT
  FormatArg(unsigned v) : kind_(Kind::integer), int_(v) {}                   // NOLINT
  FormatArg(unsigned long v) : FormatArg(static_cast<unsigned long long>(v)) {}   // NOLINT
  FormatArg(unsigned long long v)                                            // NOLINT
      : kind_(Kind::integer), int_(v > kMaxInteger ? kMaxInteger : static_cast<std::int64_t>(v)) {}
  // A single character would otherwise pass as its code: give texts as text.
  FormatArg(char) = delete;
  FormatArg(std::string_view v) : kind_(Kind::text), text_(v) {}             // NOLINT
  FormatArg(const char* v) : kind_(Kind::text), text_(v) {}                  // NOLINT
  FormatArg(const std::string& v) : kind_(Kind::text), text_(v) {}           // NOLINT

  Kind kind() const { return kind_; }
  double real() const { return kind_ == Kind::integer ? static_cast<double>(int_) : real_; }
  std::int64_t integer() const;   // a real is truncated toward zero (and range-limited)
  std::string_view text() const { return text_; }

 private:
  static constexpr unsigned long long kMaxInteger = 9223372036854775807ULL;   // largest int64
  Kind kind_;
  double real_ = 0.0;
  std::int64_t int_ = 0;
  std::string_view text_;   // the caller's text must outlive the call
};

// A parsed layout. Parse once (a static const Format in the caller), apply many times.
// A malformed layout is a programming error: the constructor throws std::invalid_argument.
class Format {
 public:
  explicit Format(std::string_view layout);
  ~Format();
  Format(Format&&) noexcept;
  Format& operator=(Format&&) noexcept;
  Format(const Format&) = delete;
  Format& operator=(const Format&) = delete;

  // The records for these values: each record ends with '\n' except when the format
  // ends with "$" in force, in which case the last record is left open.
  std::string render(std::span<const FormatArg> args) const;
  std::string render(std::initializer_list<FormatArg> args) const {
    return render(std::span<const FormatArg>(args.begin(), args.size()));
  }

  struct Node;   // parsed descriptor tree (defined in the implementation)

 private:
  std::unique_ptr<Node> root_;
};

// List-directed output of one WRITE(unit,*) statement, in the layout of the Fortran
// runtime used as the reference: a leading blank; texts as they stand, adjacent texts run
// together; a blank between any other two items; integers right-justified in 11 columns
// (20 beyond the default integer range); reals with 17 significant digits in 25 columns,
// F form followed by five blanks when the rounded value lies in [0.1, 1E17), else 1P E
// form with a three-digit exponent. That runtime does not wrap these records, nor does
// this. The fixed choices above hold here too (ties away from zero, no sign on -0.0).
// Ends with '\n'; no values give an empty record.
std::string render_list(std::span<const FormatArg> args);
inline std::string render_list(std::initializer_list<FormatArg> args) {
  return render_list(std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace qx
