#include "qx/listread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "session.h"

namespace {

using qx::ReadStatus;

constexpr double kUnset = -7.25;   // an item the read must not touch

// One list-directed read of n reals from in; unread items stay kUnset.
std::vector<double> reals(qx::Input& in, std::size_t n, ReadStatus expected = ReadStatus::ok) {
  std::vector<double> v(n, kUnset);
  EXPECT_EQ(qx::read_reals(in, v), expected);
  return v;
}

std::vector<double> reals(const std::string& text, std::size_t n, ReadStatus expected = ReadStatus::ok) {
  qx::StringInput in(text);
  return reals(in, n, expected);
}

using Reals = std::vector<double>;

// ---------------------------------------------------------------------------------------
// Separators, records and the end of a read
// ---------------------------------------------------------------------------------------

TEST(ListRead, BlanksCommasAndTabsSeparateValues) {
  EXPECT_EQ(reals("1 2,3\t4 ,  5\t,\t6  \r", 6), (Reals{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(reals("  1   2  ", 2), (Reals{1, 2}));
}

TEST(ListRead, ReadGoesOnOverRecordsAndSkipsEmptyOnes) {
  EXPECT_EQ(reals("1\n\n   \n2,\n3\n", 3), (Reals{1, 2, 3}));
  // A comma at the start of the next record is the separator of the value before it.
  EXPECT_EQ(reals("1\n,2\n3\n", 3), (Reals{1, 2, 3}));
}

TEST(ListRead, EveryReadStartsOnANewRecord) {
  qx::StringInput in("1 2 3 4\n5 6\n\n7 8\n");
  EXPECT_EQ(reals(in, 2), (Reals{1, 2}));   // 3 and 4 are dropped with their record
  EXPECT_EQ(reals(in, 1), (Reals{5}));
  EXPECT_EQ(reals(in, 2), (Reals{7, 8}));   // the empty record is skipped over
  EXPECT_EQ(reals(in, 1, ReadStatus::eof), (Reals{kUnset}));
}

TEST(ListRead, ReadOfNoItemsSkipsOneRecord) {
  qx::StringInput in("skipped 1 2\n9\n");
  EXPECT_EQ(qx::read_list(in, {}), ReadStatus::ok);
  EXPECT_EQ(reals(in, 1), (Reals{9}));
  EXPECT_EQ(qx::read_list(in, {}), ReadStatus::eof);
}

TEST(ListRead, SlashEndsTheReadAndLeavesTheRestUnchanged) {
  EXPECT_EQ(reals("1 2/ 3", 3), (Reals{1, 2, kUnset}));
  EXPECT_EQ(reals("1/", 2), (Reals{1, kUnset}));
  EXPECT_EQ(reals("1,/", 2), (Reals{1, kUnset}));
  EXPECT_EQ(reals("/ 1 2", 2), (Reals{kUnset, kUnset}));
  EXPECT_EQ(reals("1\n  /\n2\n", 2), (Reals{1, kUnset}));
  qx::StringInput in("1 /\n4 5 6\n");   // the next read starts after the slash's record
  EXPECT_EQ(reals(in, 3), (Reals{1, kUnset, kUnset}));
  EXPECT_EQ(reals(in, 3), (Reals{4, 5, 6}));
}

TEST(ListRead, EndOfInputBeforeTheListIsCompleteIsEof) {
  EXPECT_EQ(reals("", 1, ReadStatus::eof), (Reals{kUnset}));
  EXPECT_EQ(reals("\n\n", 1, ReadStatus::eof), (Reals{kUnset}));
  // Values read before the end keep their new values.
  EXPECT_EQ(reals("1 2\n", 3, ReadStatus::eof), (Reals{1, 2, kUnset}));
  EXPECT_EQ(reals("1,\n", 2, ReadStatus::eof), (Reals{1, kUnset}));
}

// ---------------------------------------------------------------------------------------
// Null values and repeat counts
// ---------------------------------------------------------------------------------------

TEST(ListRead, NullValuesLeaveItemsUnchanged) {
  EXPECT_EQ(reals("1,,3", 3), (Reals{1, kUnset, 3}));
  EXPECT_EQ(reals(",2", 2), (Reals{kUnset, 2}));
  EXPECT_EQ(reals("\t,\t2", 2), (Reals{kUnset, 2}));
  EXPECT_EQ(reals(",,,", 2), (Reals{kUnset, kUnset}));
  EXPECT_EQ(reals("1 , , 4", 3), (Reals{1, kUnset, 4}));
  // A separating comma, the record end, then a comma: a null value between them.
  EXPECT_EQ(reals("1 2 ,\n,3", 3), (Reals{1, 2, kUnset}));
  EXPECT_EQ(reals("1 2,,\n3", 4), (Reals{1, 2, kUnset, 3}));
  // A null value satisfies its item: the read does not wait for more records.
  EXPECT_EQ(reals(",", 1), (Reals{kUnset}));
}

TEST(ListRead, RepeatCounts) {
  EXPECT_EQ(reals("3*7", 3), (Reals{7, 7, 7}));
  EXPECT_EQ(reals("2*1.5 4", 3), (Reals{1.5, 1.5, 4}));
  EXPECT_EQ(reals("2*-5 +3", 3), (Reals{-5, -5, 3}));
  EXPECT_EQ(reals("5*1 9", 3), (Reals{1, 1, 1}));   // more than the list needs
  EXPECT_EQ(reals("1 2*\n5", 4), (Reals{1, kUnset, kUnset, 5}));
  // "r*" followed by a comma: r nulls, and the comma only separates.
  EXPECT_EQ(reals("2*,5", 3), (Reals{kUnset, kUnset, 5}));
  EXPECT_EQ(reals("2* 5", 3), (Reals{kUnset, kUnset, 5}));
  EXPECT_EQ(reals("2*/", 3), (Reals{kUnset, kUnset, kUnset}));
  EXPECT_EQ(reals("02*4", 2), (Reals{4, 4}));
}

TEST(ListRead, BadRepeatCountsAreErrors) {
  reals("0*5 1 2", 3, ReadStatus::error);
  reals("99999999999*5", 2, ReadStatus::error);
  reals("-1*5", 2, ReadStatus::error);
  reals("1.5*5", 2, ReadStatus::error);
  reals("2**5", 2, ReadStatus::error);
  EXPECT_EQ(reals("3 *5", 2, ReadStatus::error), (Reals{3, kUnset}));
}

// ---------------------------------------------------------------------------------------
// Number forms
// ---------------------------------------------------------------------------------------

TEST(ListRead, RealForms) {
  EXPECT_EQ(reals("1.5E3 1.5e+3 1.5D3 1.5d3 1.5Q3 1.5+3 15+2 .15E4", 8), Reals(8, 1500.0));
  EXPECT_EQ(reals("1.5D-3 1.5-3", 2), Reals(2, 1.5e-3));
  EXPECT_EQ(reals("-.5 5. .5 +7 007 -0.25e-0", 6), (Reals{-0.5, 5, 0.5, 7, 7, -0.25}));
  // Conversions are correctly rounded: the nearest double, not a sum of digit steps.
  EXPECT_EQ(reals("0.1 0.30000000000000004 1.7976931348623157e308", 3),
            (Reals{0.1, 0.30000000000000004, 1.7976931348623157e308}));
  EXPECT_EQ(reals("123456789012345678901234567890", 1), (Reals{1.2345678901234568e29}));
  EXPECT_EQ(reals("4.9e-324", 1), (Reals{std::numeric_limits<double>::denorm_min()}));
}

TEST(ListRead, MinusZeroKeepsItsSign) {
  const Reals v = reals("-0 -0.0e5", 2);
  EXPECT_TRUE(std::signbit(v[0]));
  EXPECT_TRUE(std::signbit(v[1]));
}

TEST(ListRead, ValuesTooSmallReadAsZeroTooLargeAreErrors) {
  EXPECT_EQ(reals("1e-400 -1D-99999999999999999999", 2), (Reals{0, 0}));
  EXPECT_EQ(reals("2 1e400", 2, ReadStatus::error), (Reals{2, kUnset}));
  reals("1.7976931348623159e308", 1, ReadStatus::error);
  reals("1e99999999999999999999999", 1, ReadStatus::error);
}

TEST(ListRead, MalformedNumbersAreErrors) {
  for (const char* bad : {"abc", ".", "+", "-", "+.", ".e5", "1.5E", "1.5E+", "1e", "1d+", "1E3D",
                          "1.5E3.0", "1.5e3e4", "1..5", "1.5.3", "++1", "+-1", "1-+3", "0x10",
                          "1_8", "1e5x", "1.5x", "inf", "-Inf", "Infinity", "nan", "NaN", "'7'",
                          "1;2", "1\f2"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(reals(std::string(bad) + " 2", 2, ReadStatus::error), (Reals{kUnset, kUnset}));
  }
}

TEST(ListRead, IntegerItems) {
  qx::StringInput in("+5 -6 007 -2147483648 2147483647\n");
  std::vector<int> v(5, -77);
  EXPECT_EQ(qx::read_ints(in, v), ReadStatus::ok);
  EXPECT_EQ(v, (std::vector<int>{5, -6, 7, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}));
  for (const char* bad : {"2.5", "5.", "1e3", "1+3", "2147483648", "-2147483649",
                          "99999999999999999999", "x"}) {
    SCOPED_TRACE(bad);
    qx::StringInput one(bad);
    int k = -77;
    const qx::ListItem items[] = {k};
    EXPECT_EQ(qx::read_list(one, items), ReadStatus::error);
    EXPECT_EQ(k, -77);
  }
}

// ---------------------------------------------------------------------------------------
// Texts and mixed lists
// ---------------------------------------------------------------------------------------

std::vector<std::string> texts(const std::string& input, std::size_t n, std::size_t len,
                               ReadStatus expected = ReadStatus::ok) {
  qx::StringInput in(input);
  std::vector<std::string> v(n, "?");
  std::vector<qx::ListItem> items;
  for (auto& s : v) items.emplace_back(s, len);
  EXPECT_EQ(qx::read_list(in, items), expected);
  return v;
}

using Texts = std::vector<std::string>;

TEST(ListRead, QuotedTexts) {
  EXPECT_EQ(texts("'abc' 'd''e' \"x\"\"y\" 'p\"q'", 4, 4), (Texts{"abc ", "d'e ", "x\"y ", "p\"q "}));
  EXPECT_EQ(texts("'a,b/c d'", 1, 8), (Texts{"a,b/c d "}));   // separators are text inside
  EXPECT_EQ(texts("'too long for it'", 1, 3), (Texts{"too"}));
  EXPECT_EQ(texts("''", 1, 2), (Texts{"  "}));
  // A quoted text goes on over the record end, which adds nothing to it.
  EXPECT_EQ(texts("'ab\ncd' 'e'", 2, 6), (Texts{"abcd  ", "e     "}));
  // The end of the input ends an open quote.
  EXPECT_EQ(texts("'unterminated", 1, 8), (Texts{"untermin"}));
  EXPECT_EQ(texts("'open\nmore", 2, 8, ReadStatus::eof), (Texts{"openmore", "?"}));
  // Something stuck to the closing quote is not a separator.
  texts("'abc'x 1", 2, 4, ReadStatus::error);
}

TEST(ListRead, UnquotedTextsEndAtASeparator) {
  EXPECT_EQ(texts("abc,def ghi/jkl", 4, 4), (Texts{"abc ", "def ", "ghi ", "?"}));
  EXPECT_EQ(texts("a'b 12", 2, 4), (Texts{"a'b ", "12  "}));
  EXPECT_EQ(texts("2*ab 'x'", 3, 3), (Texts{"ab ", "ab ", "x  "}));
  EXPECT_EQ(texts("3*", 3, 4), (Texts{"?", "?", "?"}));
}

TEST(ListRead, MixedListAndItemsBeforeAnError) {
  double a = kUnset, b = kUnset;
  int k = -77;
  std::string t;
  const qx::ListItem items[] = {a, k, {t, 8}, b};
  {
    qx::StringInput in("1.5 7 'hello world' 2\n");
    EXPECT_EQ(qx::read_list(in, items), ReadStatus::ok);
    EXPECT_EQ(a, 1.5);
    EXPECT_EQ(k, 7);
    EXPECT_EQ(t, "hello wo");
    EXPECT_EQ(b, 2);
  }
  {
    // The first value fits, the second does not: the rest stays as it was, and the next
    // read starts on the record after the bad one.
    a = b = kUnset;
    k = -77;
    t = "?";
    qx::StringInput in("3.5 7.5 x 2\n9\n");
    EXPECT_EQ(qx::read_list(in, items), ReadStatus::error);
    EXPECT_EQ(a, 3.5);
    EXPECT_EQ(k, -77);
    EXPECT_EQ(t, "?");
    EXPECT_EQ(b, kUnset);
    EXPECT_EQ(reals(in, 1), (Reals{9}));
  }
}

// ---------------------------------------------------------------------------------------
// Size and robustness
// ---------------------------------------------------------------------------------------

TEST(ListRead, LongRecordsAndLongNumbers) {
  std::string line;
  for (int i = 1; i <= 8000; ++i) line += std::to_string(i) + (i % 2 ? " " : ",");
  qx::StringInput in(line + "\n");
  std::vector<double> v(8000, kUnset);
  EXPECT_EQ(qx::read_reals(in, v), ReadStatus::ok);
  EXPECT_EQ(v.front(), 1);
  EXPECT_EQ(v.back(), 8000);
  // 60000 leading zeros and digits do not disturb the value.
  EXPECT_EQ(reals(std::string(60000, '0') + "1.5e0", 1), (Reals{1.5}));
  EXPECT_EQ(reals("0." + std::string(60000, '0') + "15e60001", 1), (Reals{1.5}));
}

TEST(ListRead, EveryByteIsReadWithoutHarm) {
  for (int c = 0; c < 256; ++c) {
    const std::string text = std::string("1 ") + static_cast<char>(c) + " 2\n3\n";
    qx::StringInput in(text);
    std::vector<double> v(3, kUnset);
    const ReadStatus st = qx::read_reals(in, v);
    EXPECT_NE(st, ReadStatus::eof) << c;
    if (st == ReadStatus::ok) {
      EXPECT_EQ(v[0], 1) << c;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Fixed fields
// ---------------------------------------------------------------------------------------

TEST(FixedRead, RealFieldsIgnoreBlanks) {
  EXPECT_EQ(qx::read_fixed_real("       30 30"), 3030.0);   // the runtime's rule, not two numbers
  EXPECT_EQ(qx::read_fixed_real("15          "), 15.0);     // no decimal point: a whole number
  EXPECT_EQ(qx::read_fixed_real("   1.5E3    "), 1500.0);
  EXPECT_EQ(qx::read_fixed_real("1.5 E 3     "), 1500.0);
  EXPECT_EQ(qx::read_fixed_real("1.5E3 4     "), 1.5e34);
  EXPECT_EQ(qx::read_fixed_real("- 5"), -5.0);
  EXPECT_EQ(qx::read_fixed_real("1.5+3"), 1500.0);
  EXPECT_EQ(qx::read_fixed_real("1.5-3"), 1.5e-3);
  EXPECT_EQ(qx::read_fixed_real("1d2"), 100.0);
  EXPECT_EQ(qx::read_fixed_real(" .5"), 0.5);
  EXPECT_EQ(qx::read_fixed_real("5."), 5.0);
  EXPECT_EQ(qx::read_fixed_real("1e-400"), 0.0);
  EXPECT_EQ(qx::read_fixed_real("   0.1234567890123456789"), 0.1234567890123456789);
}

TEST(FixedRead, AllBlankFieldReadsZero) {
  EXPECT_EQ(qx::read_fixed_real(""), 0.0);
  EXPECT_EQ(qx::read_fixed_real("            "), 0.0);
  EXPECT_EQ(qx::read_fixed_int("   "), 0);
  EXPECT_EQ(qx::read_fixed_int(""), 0);
}

// A field holding signs, points or an exponent but no digit is refused, where the Fortran
// runtime reads it as 0: a lone "-" at a prompt is a slip, not a request for zero.
TEST(FixedRead, FieldWithoutDigitIsAnError) {
  for (const char* bad : {"-", "+", ".", "E5", "-.", " + ", "  .  ", "e", "D-3", "-E5"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(qx::read_fixed_real(bad).has_value());
  }
  EXPECT_FALSE(qx::read_fixed_int("-").has_value());
  EXPECT_FALSE(qx::read_fixed_int(" + ").has_value());
}

TEST(FixedRead, MalformedRealFields) {
  for (const char* bad : {"1.5E", "1.5E ", "1.5E+", "1e-", "3-", "1.5e3.0", "abc", "1\t2", "\t1",
                          "inf", "nan", "1e400", "1..5"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(qx::read_fixed_real(bad).has_value());
  }
}

TEST(FixedRead, CommaEndsTheField) {
  EXPECT_EQ(qx::read_fixed_real("1,5"), 1.0);
  EXPECT_EQ(qx::read_fixed_real("1.5,"), 1.5);
  EXPECT_EQ(qx::read_fixed_real(","), 0.0);
  EXPECT_EQ(qx::read_fixed_int("1,2"), 1);
}

TEST(FixedRead, IntegerFields) {
  EXPECT_EQ(qx::read_fixed_int(" 1 2"), 12);
  EXPECT_EQ(qx::read_fixed_int("- 1"), -1);
  EXPECT_EQ(qx::read_fixed_int("+7"), 7);
  EXPECT_EQ(qx::read_fixed_int("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(qx::read_fixed_int("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  for (const char* bad : {"1.", "1e2", "1-", "x", "9223372036854775808", "-9223372036854775809",
                          "99999999999999999999999"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(qx::read_fixed_int(bad).has_value());
  }
}

TEST(FixedRead, RecordsOfSeveralFields) {
  double v[2] = {kUnset, kUnset};
  EXPECT_EQ(qx::read_fixed_reals("        1.25     30 30      4", 12, v), ReadStatus::ok);
  EXPECT_EQ(v[0], 1.25);
  EXPECT_EQ(v[1], 3030.0);   // columns 13-24; the 4 beyond them is not read
  // A comma ends the first field; the second starts right after it.
  EXPECT_EQ(qx::read_fixed_reals("1,2 3", 12, v), ReadStatus::ok);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[1], 23.0);
  // A short record reads as blank padded.
  EXPECT_EQ(qx::read_fixed_reals("1.5", 12, v), ReadStatus::ok);
  EXPECT_EQ(v[0], 1.5);
  EXPECT_EQ(v[1], 0.0);
  v[0] = v[1] = kUnset;
  EXPECT_EQ(qx::read_fixed_reals("        4.0         -", 12, v), ReadStatus::error);
  EXPECT_EQ(v[0], 4.0);
  EXPECT_EQ(v[1], kUnset);

  int k[2] = {-77, -77};
  EXPECT_EQ(qx::read_fixed_ints(" 1 2 3", 3, k), ReadStatus::ok);
  EXPECT_EQ(k[0], 1);
  EXPECT_EQ(k[1], 23);
  EXPECT_EQ(qx::read_fixed_ints("99999999999", 20, std::span<int>(k, 1)), ReadStatus::error);
}

TEST(FixedRead, RecordsFromAnInput) {
  qx::StringInput in(" 2.5\n  7\n");
  double x = kUnset;
  int k = -77;
  EXPECT_EQ(qx::read_fixed_reals(in, 12, std::span<double>(&x, 1)), ReadStatus::ok);
  EXPECT_EQ(x, 2.5);
  EXPECT_EQ(qx::read_fixed_ints(in, 3, std::span<int>(&k, 1)), ReadStatus::ok);
  EXPECT_EQ(k, 7);
  EXPECT_EQ(qx::read_fixed_ints(in, 3, std::span<int>(&k, 1)), ReadStatus::eof);
  EXPECT_EQ(k, 7);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Agreement with a real Fortran runtime
//
// tests/fortran/listread_oracle performs READ requests (see its header) on a data file and
// prints what each delivered; the same requests are run here through the readers and the
// transcripts compared. On a read error only the status is compared: what a failed READ
// leaves in its items is undefined in Fortran, and our own rule is pinned above.
// ---------------------------------------------------------------------------------------

struct OracleCase {
  const char* name;
  std::string data;
  std::string script;
};

std::string hex_bits(double x) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(bits));
  return buf;
}

const char* status_word(ReadStatus st) {
  switch (st) {
    case ReadStatus::ok:
      return "ok";
    case ReadStatus::eof:
      return "eof";
    case ReadStatus::error:
      return "err";
  }
  return "?";
}

// One script request through our readers, as the oracle prints it.
std::string our_request(qx::Input& in, const std::string& request) {
  std::istringstream words(request);
  char op = 0;
  std::size_t w = 0, n = 0;
  words >> op;
  std::vector<double> r(2000, kUnset);
  std::vector<int> k(2000, -77);
  std::vector<std::string> t;
  std::vector<char> order;   // item kinds in list order: r, i, t
  ReadStatus st = ReadStatus::error;
  switch (op) {
    case 'R':
      words >> n;
      r.resize(n);
      st = qx::read_reals(in, r);
      order.assign(n, 'r');
      break;
    case 'I':
      words >> n;
      k.resize(n);
      st = qx::read_ints(in, k);
      order.assign(n, 'i');
      break;
    case 'A': {
      words >> w >> n;
      t.assign(n, std::string(w, '?'));
      std::vector<qx::ListItem> items;
      for (auto& s : t) items.emplace_back(s, w);
      st = qx::read_list(in, items);
      order.assign(n, 't');
      break;
    }
    case 'M': {
      t.assign(1, std::string(8, '?'));
      const qx::ListItem items[] = {r[0], k[0], {t[0], 8}, r[1]};
      st = qx::read_list(in, items);
      order = {'r', 'i', 't', 'r'};
      break;
    }
    case 'F':
      words >> w >> n;
      r.resize(n);
      st = qx::read_fixed_reals(in, w, r);
      order.assign(n, 'r');
      break;
    case 'G':
      words >> w >> n;
      k.resize(n);
      st = qx::read_fixed_ints(in, w, k);
      order.assign(n, 'i');
      break;
    default:
      ADD_FAILURE() << "bad request " << request;
  }
  std::string out = status_word(st);
  if (st == ReadStatus::error) return out;
  std::size_t ri = 0, ii = 0, ti = 0;
  for (const char kind : order) {
    if (kind == 'r') out += " " + hex_bits(r[ri++]);
    if (kind == 'i') out += " " + std::to_string(k[ii++]);
    if (kind == 't') out += " [" + t[ti++] + "]";
  }
  return out;
}

std::vector<std::string> oracle_transcript(const qxtest::TempDir& dir) {
  const auto run = qxtest::run_program(qxtest::fortran_exe("listread_oracle"), "", dir.path(), {"script", "data"});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = qxtest::split_lines(run.out);
  for (auto& line : lines) {
    if (line.rfind("err", 0) == 0) line = "err";
  }
  return lines;
}

std::vector<std::string> our_transcript(const qxtest::TempDir& dir) {
  auto in = qx::FileInput::open(dir / "data", 12);
  EXPECT_TRUE(in);
  std::vector<std::string> lines;
  if (!in) return lines;
  for (const auto& request : qxtest::split_lines(qxtest::read_file(dir / "script"))) {
    if (!request.empty()) lines.push_back(our_request(*in, request));
  }
  return lines;
}

void expect_agreement(const std::vector<OracleCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const qxtest::TempDir dir;
    qxtest::write_file(dir / "data", c.data);
    qxtest::write_file(dir / "script", c.script);
    const auto theirs = oracle_transcript(dir);
    const auto ours = our_transcript(dir);
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) EXPECT_EQ(ours[i], theirs[i]) << "request " << i + 1;
  }
}

std::string long_record() {
  std::string s;
  for (int i = 1; i <= 1500; ++i) s += std::to_string(i) + "." + std::to_string(i % 7) + (i % 3 ? " " : ",");
  return s + "\n";
}

// One case per data line, each a single request: a failed READ leaves the runtime's
// position in the record undefined (it goes on in the same record after some errors, at the
// next after others), so only the first read after a bad value is compared.
std::vector<OracleCase> one_read_each(const char* name, const std::vector<std::string>& lines,
                                      const std::string& request) {
  std::vector<OracleCase> cases;
  for (const auto& line : lines) cases.push_back({name, line + "\n", request + "\n"});
  return cases;
}

TEST(ListReadOracle, AgreesWithTheFortranRuntime) {
  std::vector<OracleCase> cases = {
      {"split over records", "1\n2\n3\n1 2\n\n   \n3 4\n5,\n6\n", "R 3\nR 4\nR 2\n"},
      {"comma starting a record", "1\n,2\n3\n1,\n,2,3\n1,\n\n,2\n3\n", "R 3\nR 3\nR 3\n"},
      {"slash", "1 2/ 3\n4 5 6\n/\n7\n1,/\n9\n1\n  /\n2\n3\n1/2\n", "R 3\nR 3\nR 2\nR 1\nR 2\nR 1\nR 2\nR 1\nR 2\n"},
      {"repeat counts", "3*7 2*\n1\n2*,5\n5*1 9\n8\n2*1.5d0,3*-2\n2* 5\n2*/\n02*4\n",
       "R 6\nR 3\nR 3\nR 1\nR 5\nR 3\nR 3\nR 2\n"},
      {"blank and comma mixtures", "1 ,2, 3 ,, 5\n , 1\n1 2 ,\n,3\n1 2,,\n3\n,,,\n,\n  1  ,  2  \n",
       "R 5\nR 2\nR 3\nR 4\nR 3\nR 1\nR 2\n"},
      {"exponent forms", "1d2 1D-2 1.5d+3 .5D0\n1.5+3 1.5-3 1+3 1.5q3 1.5E+3\n-.5 5. .5 +7 007 -0.25e-0\n",
       "R 4\nR 5\nR 6\n"},
      {"tabs", "\t1\t\t2 \t3\t\n1\t,\t\t,3\n\t\n\t4\n", "R 3\nR 3\nR 1\n"},
      {"rounding and range",
       "0.1 0.2 0.3 1e-310 123456789012345678901234567890 1.7976931348623157e308\n"
       "2.2250738585072011e-308 4.9e-324 2.4703282292062328e-324 -0 1e-400 -1d-999\n"
       "0.1000000000000000055511151231257827021181583404541015625 9007199254740993\n",
       "R 6\nR 6\nR 2\n"},
      {"several reads in a row", "1 2 3\n4 5\n6\n7 8 9\n", "R 2\nR 1\nR 2\nR 2\n"},
      {"bad values, then the next record", "abc 1\n2\n1.5e 2\n3\n1 2 x\n5\n1\nabc\n6\n1.5 7.5 a 2\n7\n",
       "R 2\nR 1\nR 2\nR 1\nR 3\nR 1\nR 3\nR 1\nM\nR 1\n"},
      {"end of file", "1\n", "R 2\n"},
      {"end of file in an empty file", "", "R 1\n"},
      {"end of file after blank records", "\n\n  \n", "R 1\n"},
      {"no line end on the last record", "1 2", "R 2\nR 1\n"},
      {"skipping records", "1 2\n3\n", "R 0\nR 1\nR 0\n"},
      {"integers", "+5 -6 007 -2147483648 2147483647\n3*4 2*\n", "I 5\nI 5\n"},
      {"texts",
       "'abc' 'd''e' \"x\"\"y\" 'p\"q'\n'ab\ncd' 'e'\nabc,def ghi/jkl\nabc/def x\n2*ab 'x'\n12 3\n3*\na'b c\n",
       "A 4 4\nA 6 2\nA 4 4\nA 8 2\nA 3 3\nA 4 2\nA 4 3\nA 4 2\n"},
      {"texts at the end of the input", "'unterminated\n", "A 8 1\n"},
      {"texts spanning to the end of the input", "'open\nmore\n", "A 8 2\n"},
      {"mixed lists", "1.5 7 'hello world' 2\n1.5 7 hello 2\n1.5 7 hello\n", "M\nM\nM\n"},
      {"a long record", long_record(), "R 1500\n"},
  };
  for (auto& c : one_read_each("malformed reals",
                               {"+ 1", ". 1", "+. 1", "1.5E 1", "1e 1", "1d+ 1", "1..5 1", "1.5.3 1",
                                "++1 1", "1-+3 1", "0x10 1", "1e5x 1", "3 *5", "1 0*5 1", "99999999999*5",
                                "-1*5 1", "1.5*5 1", "'7' 1"},
                               "R 2")) {
    cases.push_back(c);
  }
  for (auto& c : one_read_each("bad integers", {"2.5 3", "1e3 1", "2147483648 1", "-2147483649 1", "5. 1", "1+3 1"},
                               "I 2")) {
    cases.push_back(c);
  }
  for (auto& c : one_read_each("bad mixed lists", {"1.5 7.5 hello 2", "'x' 7 a 2", "1.5 '7' a 2"}, "M")) {
    cases.push_back(c);
  }
  cases.push_back({"text stuck to a quote", "'abc'x 1\n", "A 4 2\n"});
  expect_agreement(cases);
}

// One request per data line.
std::string repeat_request(const std::string& request, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += request + "\n";
  return s;
}

std::string lines_of(const std::vector<std::string>& fields) {
  std::string s;
  for (const auto& f : fields) s += f + "\n";
  return s;
}

TEST(FixedReadOracle, AgreesWithTheFortranRuntime) {
  const std::vector<std::string> real_fields = {
      "", " ", "30 30", "   1.5E3", "1.5 E 3", "1 .5", "- 5", "1.5E", "1.5E ", "1.5E+", "1.5+3",
      "1.5-3", "1d2", "1q2", "1.5e3.0", "abc", "1,5", " 1,5", ",", "1.5,", "-0", "12345678901",
      "1.5E3 4", " .5", "5.", "1 2 3 4 5 6 7 8 9 10 11", "1e", "1e-", "  -  3", "3-", "3+", "1.5-",
      "1\t2", "\t1", "0.1", "   -0.000001", "1e-400", "123456789012", "  1.2345678901234567890"};
  const std::vector<std::string> int_fields = {"", " ", "1 2", "1-", "1.", "1e2", "+7", "-0",
                                               ",", "1,2", "x", "99", "999", "-9", "\t1", " 0 "};
  const std::vector<std::string> pairs = {"1 2 3", "1,2 3", "1.5", "", "         1.5        30 30  ",
                                          "1,,2", "12345678901234567890123", "1.5,2.5", "   ,   ,"};
  const std::vector<OracleCase> cases = {
      {"F12.0", lines_of(real_fields), repeat_request("F 12 1", real_fields.size())},
      {"F20.0", lines_of(real_fields), repeat_request("F 20 1", real_fields.size())},
      {"2F12.0", lines_of(pairs), repeat_request("F 12 2", pairs.size())},
      {"2F2.0", lines_of(pairs), repeat_request("F 2 2", pairs.size())},
      {"I2", lines_of(int_fields), repeat_request("G 2 1", int_fields.size())},
      {"I3", lines_of(int_fields), repeat_request("G 3 1", int_fields.size())},
      {"I30 range", "2147483647\n-2147483648\n2147483648\n -2147483649\n", repeat_request("G 30 1", 4)},
      {"I3 signs", "- 1\n  -\n+ 1\n", repeat_request("G 3 1", 3)},
      {"end of file", "1\n", "F 12 1\nF 12 1\n"},
      {"end of file, I3", "", "G 3 1\n"},
  };
  expect_agreement(cases);
}

// Where the runtime reads a value and we deliberately refuse it: a field without a digit
// (the runtime reads 0), infinities, NaNs and overflowing values (no computation can use
// them) and the semicolon the runtime takes for a separator in decimal-point mode. And a
// read after the end of the input is the end of the input again, not an error.
TEST(ListReadOracle, DeliberateDifferencesFromTheRuntime) {
  const std::vector<OracleCase> cases = {
      {"no digit, F12.0", "-\n+\n.\nE5\n-.\n", repeat_request("F 12 1", 5)},
      {"no digit, I2", "- 1\n", "G 2 1\n"},
      {"infinities and NaNs", "inf\n-Infinity\nnan\nNaN(0x1)\n1e400\n-1e400\n1.7976931348623159e308\n",
       repeat_request("R 1", 7)},
      {"infinities in a field", "1e400\ninf\n", repeat_request("F 12 1", 2)},
      {"semicolon", "1;2\n", "R 2\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const qxtest::TempDir dir;
    qxtest::write_file(dir / "data", c.data);
    qxtest::write_file(dir / "script", c.script);
    const auto theirs = oracle_transcript(dir);
    const auto ours = our_transcript(dir);
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
      EXPECT_EQ(theirs[i].substr(0, 2), "ok") << "request " << i + 1;
      EXPECT_EQ(ours[i], "err") << "request " << i + 1;
    }
  }
  const qxtest::TempDir dir;
  qxtest::write_file(dir / "data", "1\n");
  qxtest::write_file(dir / "script", "R 1\nR 1\nR 1\n");
  EXPECT_EQ(oracle_transcript(dir), (std::vector<std::string>{"ok 3FF0000000000000", "eof C01D000000000000", "err"}));
  EXPECT_EQ(our_transcript(dir),
            (std::vector<std::string>{"ok 3FF0000000000000", "eof C01D000000000000", "eof C01D000000000000"}));
}
