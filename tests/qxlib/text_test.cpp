#include "qx/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "qx/numeric.h"
#include "qx/units.h"

namespace {

TEST(Text, QxlenIgnoresTrailingBlanksAndTabsOnly) {
  EXPECT_EQ(qx::qxlen(""), 0);
  EXPECT_EQ(qx::qxlen(" \t \t"), 0);
  EXPECT_EQ(qx::qxlen("abc \t \t "), 3);
  EXPECT_EQ(qx::qxlen("\tx"), 2);
  EXPECT_EQ(qx::qxlen("a b"), 3);
  EXPECT_EQ(qx::qxlen(std::string("x\0 ", 3)), 2);   // a NUL byte is text
  EXPECT_EQ(qx::trim_right("name.vrn  \t"), "name.vrn");
}

TEST(Text, PadCutsOrFillsToTheFieldLength) {
  EXPECT_EQ(qx::pad("abc", 5), "abc  ");
  EXPECT_EQ(qx::pad("abcdef", 4), "abcd");
  EXPECT_EQ(qx::pad("", 2), "  ");
}

TEST(Text, QxleadRemovesLeadingBlanksButKeepsTabs) {
  qx::StringOutput msg;
  std::string s = "   quad  2.5   ";
  qx::qxlead(s, msg);
  EXPECT_EQ(s, "quad  2.5      ");   // length kept, blanks moved to the end

  s = "\t  quad";
  qx::qxlead(s, msg);
  EXPECT_EQ(s, "\t  quad");

  s = "  \tquad";
  qx::qxlead(s, msg);
  EXPECT_EQ(s, "\tquad  ");

  s = "    x";   // a single character standing last
  qx::qxlead(s, msg);
  EXPECT_EQ(s, "x    ");

  s = "     ";
  qx::qxlead(s, msg);
  EXPECT_EQ(s, "     ");
  EXPECT_EQ(msg.text(), "");
}

TEST(Text, QxleadTreatsOnlyTheFirst200CharactersOfAnOverlongText) {
  qx::StringOutput msg;
  std::string s = std::string(5, ' ') + std::string(245, 'a');
  qx::qxlead(s, msg);
  EXPECT_EQ(s, std::string(195, 'a') + std::string(5, ' ') + std::string(50, 'a'));
  EXPECT_EQ(msg.text(), " Line too long in QXLEAD.\n\n");
}

TEST(Text, QxleadWarnsFromATrimmedLengthOf200) {
  qx::StringOutput msg;
  std::string s = " " + std::string(198, 'b') + "   ";   // trimmed length 199
  qx::qxlead(s, msg);
  EXPECT_EQ(s, std::string(198, 'b') + "    ");
  EXPECT_EQ(msg.text(), "");

  s = " " + std::string(199, 'b');   // trimmed length 200
  qx::qxlead(s, msg);
  EXPECT_EQ(s, std::string(199, 'b') + " ");
  EXPECT_EQ(msg.text(), " Line too long in QXLEAD.\n\n");
}

TEST(Text, CaseConversionTouchesAsciiLettersOnly) {
  std::string s = "Quad-2.5e3 \xe9z[`{@";
  qx::qxuppr(s);
  EXPECT_EQ(s, "QUAD-2.5E3 \xe9Z[`{@");
  qx::qxlowr(s);
  EXPECT_EQ(s, "quad-2.5e3 \xe9z[`{@");
  EXPECT_EQ(qx::upper("elements"), "ELEMENTS");
}

// ---- QXRAN and checked integer conversions ------------------------------------------------

TEST(Numeric, QxranIsTheAbsoluteFractionOfTheAffineStep) {
  EXPECT_EQ(qx::qxran(0.0), 0.211327);
  EXPECT_EQ(qx::qxran(0.5), std::fabs(std::fmod(0.5 * 9821.0 + 0.211327, 1.0)));
  // The fraction keeps the sign of a negative argument before the absolute value is taken.
  EXPECT_NEAR(qx::qxran(-1.0), 0.788673, 1E-11);
  const double x = 0.123456;
  qx::qxran(x);
  EXPECT_EQ(x, 0.123456);
  double v = 0.3;
  for (int i = 0; i < 1000; ++i) {
    v = qx::qxran(v);
    ASSERT_TRUE(v >= 0.0 && v < 1.0) << i;
  }
}

TEST(Numeric, IntegerConversionsRefuseWhatNoIntegerHolds) {
  EXPECT_EQ(qx::int_part(-2.7), -2);
  EXPECT_EQ(qx::nearest_int(-2.5), -3);   // halves away from zero
  EXPECT_EQ(qx::nearest_int(2.5), 3);
  EXPECT_EQ(qx::int_part(7.9, 0, 7), 7);
  EXPECT_FALSE(qx::int_part(8.0, 0, 7));
  EXPECT_FALSE(qx::nearest_int(7.5, 0, 7));
  EXPECT_FALSE(qx::int_part(std::nan("")));
  EXPECT_FALSE(qx::nearest_int(-INFINITY));
  EXPECT_FALSE(qx::int_part(3E9));   // beyond the default int range
  const std::int64_t lo = std::numeric_limits<std::int64_t>::min();
  const std::int64_t hi = std::numeric_limits<std::int64_t>::max();
  EXPECT_FALSE(qx::int_part(9223372036854775808.0, lo, hi));
  EXPECT_EQ(qx::int_part(-9223372036854775808.0, lo, hi), lo);
}

}  // namespace
