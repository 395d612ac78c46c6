// List-directed (free-form) input and fixed-field reads.
//
// read_list follows the list-directed rules of ANSI X3.9-1978: values separated by blanks
// and/or commas (TABs count as blanks); a read continues over further records until every
// item has a value; "/" ends the read, leaving the remaining items unchanged; every read
// starts on a new record and discards the rest of the last record it used; D and E
// exponents; repeat counts r*value and r* (r null values); a null value (two commas in a
// row, or r*) leaves its item unchanged. Texts may be quoted with ' or " (doubled quotes
// inside; a quoted text goes on over record ends, and the end of the input closes it) or,
// as an extension every runtime has, written bare up to the next separator. After a read
// error the next read starts on the record after the one holding the bad value.
//
// Real values may carry an exponent written with E, D or Q, or as a bare signed exponent
// ("1.5+3" is 1500). Values that do not fit a double (1E400), "inf" and "nan" are read
// errors: no program can do anything sensible with them.
//
// Fixed-field reads follow the default BLANK='NULL' rule: blanks inside a field are ignored
// and an all-blank field reads as zero; a field holding no digit ("-", "+", ".", "E5") is
// a read error. A comma ends a field early (the next field starts after it).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "qx/units.h"

namespace qx {

// One item of an input list.
class ListItem {
 public:
  enum class Kind { real, integer, text };
  ListItem(double& v) : kind_(Kind::real), real_(&v) {}          // NOLINT
  ListItem(int& v) : kind_(Kind::integer), int_(&v) {}           // NOLINT
  ListItem(std::string& v, std::size_t len) : kind_(Kind::text), text_(&v), len_(len) {}
  Kind kind() const { return kind_; }
  double* real() const { return real_; }
  int* integer() const { return int_; }
  std::string* text() const { return text_; }
  std::size_t text_length() const { return len_; }

 private:
  Kind kind_;
  double* real_ = nullptr;
  int* int_ = nullptr;
  std::string* text_ = nullptr;
  std::size_t len_ = 0;   // a text item is blank padded or cut to this length
};

// One list-directed READ. ok: all items read (or the read ended early at "/").
// eof: the input ended before the list was complete. error: a value that does not fit
// its item. Items read before an eof or error keep their new values.
ReadStatus read_list(Input& in, std::span<const ListItem> items);

// Convenience: n reals, n integers.
ReadStatus read_reals(Input& in, std::span<double> values);
ReadStatus read_ints(Input& in, std::span<int> values);

// Fw.d input of one field (d = 0 as the programs use it: a value with no decimal point is
// a whole number). Empty optional on a read error.
std::optional<double> read_fixed_real(std::string_view field);
// Iw input of one field.
std::optional<std::int64_t> read_fixed_int(std::string_view field);

// One record read with the layout (nFw.0) or (nIw), n = values.size(): field k starts where
// field k-1 ended (after its comma, when a comma ended it early); a short record reads as
// if blank padded. error at the first bad field (the fields before it keep their new
// values); an integer outside the range of int is an error.
ReadStatus read_fixed_reals(std::string_view record, std::size_t width, std::span<double> values);
ReadStatus read_fixed_ints(std::string_view record, std::size_t width, std::span<int> values);
// The same on the next record of in; eof at the end of the input.
ReadStatus read_fixed_reals(Input& in, std::size_t width, std::span<double> values);
ReadStatus read_fixed_ints(Input& in, std::size_t width, std::span<int> values);

}  // namespace qx
