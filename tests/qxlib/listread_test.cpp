#include "qx/listread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

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
