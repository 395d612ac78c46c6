// Record formatter: edit functions, whole layouts and list-directed records. Expected
// records are written from the editing rules and were confirmed against a Fortran runtime.
#include "qx/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "session.h"

namespace {

using qx::edit_a;
using qx::edit_e;
using qx::edit_f;
using qx::edit_g;
using qx::edit_i;
using qx::Format;
using qx::FormatArg;

std::string render(std::string_view layout, std::initializer_list<FormatArg> args) {
  return Format(layout).render(args);
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- F editing ----

TEST(EditF, LeadingZeroOnlyWhenThereIsRoom) {
  EXPECT_EQ(edit_f(0.5, 4, 2), "0.50");
  EXPECT_EQ(edit_f(0.5, 3, 2), ".50");
  EXPECT_EQ(edit_f(-0.5, 4, 2), "-.50");
  EXPECT_EQ(edit_f(-0.5, 5, 2), "-0.50");
  EXPECT_EQ(edit_f(0.04, 2, 1), ".0");
  // With no decimals the zero is the only digit and must be written.
  EXPECT_EQ(edit_f(0.3, 2, 0), "0.");
  EXPECT_EQ(edit_f(0.3, 1, 0), "*");
  EXPECT_EQ(edit_f(-0.3, 3, 0), "-0.");
  EXPECT_EQ(edit_f(-0.3, 2, 0), "**");
}

TEST(EditF, OrdinaryValuesAndOverflow) {
  EXPECT_EQ(edit_f(3.14159265, 10, 5), "   3.14159");
  EXPECT_EQ(edit_f(-273.15, 12, 6), " -273.150000");
  EXPECT_EQ(edit_f(123456.0, 7, 0), "123456.");
  EXPECT_EQ(edit_f(123456.0, 6, 0), "******");
  EXPECT_EQ(edit_f(99.996, 5, 2), "*****");      // rounds to 100.00
  EXPECT_EQ(edit_f(99.994, 5, 2), "99.99");
  EXPECT_EQ(edit_f(-9.996, 5, 2), "*****");
  EXPECT_EQ(edit_f(1e300, 12, 6), "************");
  EXPECT_EQ(edit_f(1e-300, 12, 6), "    0.000000");
  EXPECT_EQ(edit_f(0.9999996, 9, 6), " 1.000000");
  EXPECT_EQ(edit_f(5e-7, 9, 6), " 0.000000");    // 5E-7 is stored just below the halfway point
}

TEST(EditF, ScaleFactorMovesThePoint) {
  EXPECT_EQ(edit_f(5.0, 8, 3, 1), "  50.000");
  EXPECT_EQ(edit_f(5.0, 8, 3, -2), "   0.050");
  EXPECT_EQ(edit_f(0.125, 8, 2, 1), "    1.25");
}

// The first conversion keeps a few guard digits; when they read 5000... or 4999...
// rounded up to 5000..., only the exact value can tell which way to round.
TEST(EditF, GuardDigitsThatLookLikeATie) {
  EXPECT_EQ(edit_f(0x1.015c3df1461aap+0, 25, 21), "  1.005313750653025639537");   // ...639536|508...
  EXPECT_EQ(edit_f(0x1.28b60e9eb5755p+0, 25, 21), "  1.159027971026678871524");   // ...871524|4956...
}

TEST(EditF, LongExactExpansions) {
  // More digits than the quick conversion gives: the exact expansion is used.
  EXPECT_EQ(edit_f(0.1, 30, 27), " 0.100000000000000005551115123");
  EXPECT_EQ(edit_f(std::ldexp(1.0, -30), 40, 36), "  0.000000000931322574615478515625000000");
  EXPECT_EQ(edit_f(1e22, 30, 3), "   10000000000000000000000.000");
  EXPECT_EQ(edit_f(1e23, 30, 3), "   99999999999999991611392.000");
}

// ---- E and D editing ----

TEST(EditE, ScaleFactorForms) {
  EXPECT_EQ(edit_e(1.0, 11, 5), "0.10000E+01");
  EXPECT_EQ(edit_e(1.0, 10, 5), ".10000E+01");
  EXPECT_EQ(edit_e(-1.0, 11, 5), "-.10000E+01");
  EXPECT_EQ(edit_e(1.0, 8, 1, 1), " 1.0E+00");
  EXPECT_EQ(edit_e(-1.0, 9, 3, 1), "*********");
  EXPECT_EQ(edit_e(3.14159, 12, 4, 2), "  31.416E-01");
  EXPECT_EQ(edit_e(3.14159, 12, 4, -1), "  0.0314E+02");
  EXPECT_EQ(edit_e(5.0, 12, 3, 3), "   500.0E-02");
  EXPECT_EQ(edit_e(2500.0, 12, 5, 1), " 2.50000E+03");
  // A scale factor that leaves no digit to show cannot be honoured.
  EXPECT_EQ(edit_e(5.0, 12, 3, -3), "************");
  EXPECT_EQ(edit_e(5.0, 12, 3, 5), "************");
}

TEST(EditE, ExponentFields) {
  EXPECT_EQ(edit_e(1e-300, 12, 5), " 0.10000-299");
  EXPECT_EQ(edit_e(1e-300, 13, 5, 1), "  1.00000-300");
  EXPECT_EQ(edit_e(1e-300, 12, 5, 1, 3), "1.00000E-300");
  EXPECT_EQ(edit_e(1e5, 13, 5, 1, 1), "   1.00000E+5");
  EXPECT_EQ(edit_e(3e12, 13, 5, 0, 1), "*************");
  EXPECT_EQ(edit_e(3e12, 13, 5, 0, 4), "0.30000E+0013");
  EXPECT_EQ(edit_e(5e-324, 12, 5), " 0.49407-323");
  EXPECT_EQ(edit_e(0.0, 12, 5), " 0.00000E+00");
  EXPECT_EQ(edit_e(0.0, 12, 5, 1), " 0.00000E+00");
  EXPECT_EQ(render("(D12.5)", {2.0}), " 0.20000D+01\n");
}

TEST(EditE, RoundingCarriesIntoTheExponent) {
  EXPECT_EQ(edit_e(9.999996, 12, 5), " 0.10000E+02");
  EXPECT_EQ(edit_e(9.999996, 12, 5, 1), " 1.00000E+01");
  EXPECT_EQ(edit_e(-0.099999999, 12, 4), " -0.1000E+00");
}

// ---- G editing ----

TEST(EditG, FFormWithTrailingBlanksInsideTheRange) {
  EXPECT_EQ(edit_g(1.0, 13, 5), "   1.0000    ");
  EXPECT_EQ(edit_g(0.1, 13, 5), "  0.10000    ");
  EXPECT_EQ(edit_g(12345.4, 13, 5), "   12345.    ");
  EXPECT_EQ(edit_g(1.0, 11, 4, 1), "  1.000    ");   // the scale factor has no effect on F form
  EXPECT_EQ(edit_g(5.0, 12, 3, 2), "    5.00    ");
  EXPECT_EQ(edit_g(-42.0, 10, 3, 1), " -42.0    ");
  EXPECT_EQ(edit_g(1.0, 13, 5, 0, 3), "  1.0000     ");
}

TEST(EditG, EFormOutsideTheRange) {
  EXPECT_EQ(edit_g(123456.0, 13, 5), "  0.12346E+06");
  EXPECT_EQ(edit_g(0.09999, 13, 5), "  0.99990E-01");
  EXPECT_EQ(edit_g(123456.0, 13, 5, 1), "  1.23456E+05");
  EXPECT_EQ(edit_g(5e-5, 12, 3, 2), "   50.00E-06");
  EXPECT_EQ(edit_g(3e12, 13, 5, 0, 1), "*************");
}

// The F form keeps its trailing blanks; only its own columns get asterisks.
TEST(EditG, FieldTooNarrowForTheFForm) {
  EXPECT_EQ(edit_g(1.0, 6, 1), "1.    ");
  EXPECT_EQ(edit_g(1.0, 5, 1), "*    ");
  EXPECT_EQ(edit_g(-0.996, 8, 2, 1), "****    ");
  EXPECT_EQ(edit_g(1.0, 4, 1), "****");
}

// The fixed choices: the form is chosen on the unrounded magnitude, zero takes the E form.
TEST(EditG, FormChosenBeforeRounding) {
  EXPECT_EQ(edit_g(0.0, 13, 5, 1), "  0.00000E+00");
  EXPECT_EQ(edit_g(-0.0, 13, 5, 1), "  0.00000E+00");
  EXPECT_EQ(edit_g(0.0, 13, 5), "  0.00000E+00");
  EXPECT_EQ(edit_g(9.99995, 13, 5, 1), "  10.0000    ");
  EXPECT_EQ(edit_g(99999.5, 13, 5), "  100000.    ");
  EXPECT_EQ(edit_g(std::nextafter(0.1, 0.0), 13, 5, 1), "  1.00000E-01");
  EXPECT_EQ(edit_g(0.0999995, 13, 5, 1), "  9.99995E-02");
}

// ---- I and A editing ----

TEST(EditI, WidthsMinimumDigitsAndOverflow) {
  EXPECT_EQ(edit_i(42, 5), "   42");
  EXPECT_EQ(edit_i(-1, 2), "-1");
  EXPECT_EQ(edit_i(-1, 1), "*");
  EXPECT_EQ(edit_i(123, 2), "**");
  EXPECT_EQ(edit_i(0, 1), "0");
  EXPECT_EQ(edit_i(7, 5, 3), "  007");
  EXPECT_EQ(edit_i(-12, 5, 3), " -012");
  EXPECT_EQ(edit_i(-12, 4, 3), "-012");
  EXPECT_EQ(edit_i(-5, 3, 3), "***");
  EXPECT_EQ(edit_i(0, 3, 0), "   ");
  EXPECT_EQ(edit_i(0, 1, 0), " ");
  EXPECT_EQ(edit_i(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
  EXPECT_EQ(edit_i(std::numeric_limits<std::int64_t>::min(), 19), "*******************");
}

TEST(EditA, PadsOnTheLeftAndCutsOnTheRight) {
  EXPECT_EQ(edit_a("abcdef", 3), "abc");
  EXPECT_EQ(edit_a("xy", 5), "   xy");
  EXPECT_EQ(edit_a("xy"), "xy");
  EXPECT_EQ(edit_a(""), "");
}

TEST(EditFunctions, RefuseImpossibleFieldSizes) {
  EXPECT_THROW(edit_f(1.0, 0, 0), std::invalid_argument);
  EXPECT_THROW(edit_e(1.0, 10, -1), std::invalid_argument);
  EXPECT_THROW(edit_i(1, -3), std::invalid_argument);
  EXPECT_THROW(edit_a("x", 1 << 30), std::invalid_argument);
}

TEST(EditNonFinite, InfinityAndNaNFitTheirField) {
  EXPECT_EQ(edit_f(kInf, 10, 3), "  Infinity");
  EXPECT_EQ(edit_f(kInf, 8, 3), "Infinity");
  EXPECT_EQ(edit_f(kInf, 7, 3), "    Inf");
  EXPECT_EQ(edit_f(kInf, 3, 1), "Inf");
  EXPECT_EQ(edit_f(kInf, 2, 1), "**");
  EXPECT_EQ(edit_f(-kInf, 9, 3), "-Infinity");
  EXPECT_EQ(edit_f(-kInf, 8, 3), "    -Inf");
  EXPECT_EQ(edit_f(-kInf, 4, 1), "-Inf");
  EXPECT_EQ(edit_f(-kInf, 3, 1), "***");
  EXPECT_EQ(edit_f(kNaN, 2, 1), "**");
  EXPECT_EQ(edit_g(kNaN, 5, 1), "  NaN");
  EXPECT_EQ(edit_g(-kInf, 13, 5), "    -Infinity");
  EXPECT_EQ(edit_e(-kInf, 12, 4), "   -Infinity");
}

// ---- Fixed choices where runtimes differ ----

TEST(FixedChoices, ExactTiesRoundAwayFromZero) {
  EXPECT_EQ(edit_f(0.125, 5, 2), " 0.13");
  EXPECT_EQ(edit_f(-0.125, 5, 2), "-0.13");
  EXPECT_EQ(edit_f(2.5, 6, 0), "    3.");
  EXPECT_EQ(edit_f(0.5, 6, 0), "    1.");
  EXPECT_EQ(edit_f(0.375, 5, 2), " 0.38");
  EXPECT_EQ(edit_e(0.125, 8, 1, 1), " 1.3E-01");
  EXPECT_EQ(edit_g(100000.5, 12, 5, 1), " 1.00001E+05");
  // Only an exact binary tie is one: these lie just below and just above the halfway point.
  EXPECT_EQ(edit_f(std::nextafter(0.125, 0.0), 5, 2), " 0.12");
  EXPECT_EQ(edit_f(std::nextafter(0.125, 1.0), 5, 2), " 0.13");
  EXPECT_EQ(edit_f(0.015, 5, 2), " 0.01");   // 0.015 is stored as 0.01499999...
  // A tie far beyond the quick conversion's digits: 1 + 2^-52 has 52 decimals.
  const double tiny_step = 1.0 + std::ldexp(1.0, -52);
  EXPECT_EQ(edit_f(tiny_step, 60, 51), "       1.000000000000000222044604925031308084726333618164063");
}

TEST(FixedChoices, NegativeZeroAndRoundedNegatives) {
  EXPECT_EQ(edit_f(-0.0, 12, 6), "    0.000000");
  EXPECT_EQ(edit_f(-4e-7, 12, 6), "   -0.000000");
  EXPECT_EQ(edit_e(-0.0, 12, 5), " 0.00000E+00");
  EXPECT_EQ(edit_f(-0.0, 4, 2), "0.00");
}

TEST(FixedChoices, ThreeDigitExponentDropsTheLetter) {
  EXPECT_EQ(edit_g(1e-300, 13, 5, 1), "  1.00000-300");
  EXPECT_EQ(edit_g(1e300, 13, 5, 1), "  1.00000+300");
}

// Every case of the shared table of records where runtimes disagree.
TEST(FixedChoices, EditingCasesTable) {
  const std::string text = qxtest::read_file(qxtest::test_data("f77-editing-cases.txt"));
  int checked = 0;
  for (const std::string& line : qxtest::split_lines(text)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t a = line.find('|');
    const std::size_t b = line.find('|', a + 1);
    ASSERT_NE(b, std::string::npos) << line;
    ASSERT_EQ(line.back(), '|') << line;
    const std::string layout = line.substr(0, a);
    const double value = std::strtod(line.substr(a + 1, b - a - 1).c_str(), nullptr);
    const std::string expected = line.substr(b + 1, line.size() - b - 2);
    EXPECT_EQ(Format(layout).render({value}), expected + "\n") << line;
    ++checked;
  }
  EXPECT_EQ(checked, 1233);
}

// ---- Whole layouts ----

TEST(Layout, ExampleRecordsOfThePrograms) {
  EXPECT_EQ(render("(1H ,'Title: ',A)", {"Doublet"}), " Title: Doublet\n");
  EXPECT_EQ(render("(1H ,A,$)", {"vrn> "}), " vrn> ");
  EXPECT_EQ(render("(1H+,A)", {"DATA"}), "+DATA\n");
  EXPECT_EQ(render("(1H ,'?COUPLE- Incorrect sign coupling at IZ = ',I2)", {7}),
            " ?COUPLE- Incorrect sign coupling at IZ =  7\n");
  EXPECT_EQ(render("(1H ,I2,1X,A,F5.2,11(1X,1P,G11.4))", {3, "Quadrupole", 4.1, 0.1, -2.5e-3, 0.0}),
            "  3 Quadrupole 4.10  0.1000     -2.5000E-03  0.0000E+00\n");
  EXPECT_EQ(render("(1H ,4X,4(A,'(',I1,',',I1,') = ',G13.6,4X))", {"S", 1, 2, 0.5, "S", 3, 4, -1234567.0}),
            "     S(1,2) =  0.500000        S(3,4) = -0.123457E+07\n");
  EXPECT_EQ(render("(1H ,0P,F5.2,'   ',',',0P,F12.6,',',1P,G12.5,',',0P,F12.6)", {4.1, 0.2, 12345.0, 0.05}),
            "  4.10   ,    0.200000,  12345.    ,    0.050000\n");
  EXPECT_EQ(render("(1H ,/,1H ,'         Program VORNE - Version 8.2',/,/)", {}),
            " \n          Program VORNE - Version 8.2\n\n\n");
}

TEST(Layout, HollerithCountsIncludeBlanksAndCommas) {
  EXPECT_EQ(render("(/,/,1H ,I3,11H VARIABLES,,I3,8H ACTIVE.)", {4, 2}), "\n\n   4 VARIABLES,  2 ACTIVE.\n");
  EXPECT_EQ(render("(10H STEP SIZE,I3,14H INCREASED TO ,E12.5)", {2, 0.5}),
            " STEP SIZE  2 INCREASED TO  0.50000E+00\n");
  std::string stars;
  for (int i = 0; i < 60; ++i) stars += " *";
  EXPECT_EQ(render("(60(1X,1H*))", {}), stars + "\n");
  EXPECT_EQ(render("(3H)'(,I1)", {5}), ")'(5\n");   // an H literal may hold any character
  EXPECT_EQ(render("(1H ,'it''s')", {}), " it's\n");
  EXPECT_EQ(render("(\"say \"\"hi\"\"\")", {}), "say \"hi\"\n");
}

TEST(Layout, ReversionGoesBackToTheLastTopLevelGroup) {
  std::vector<FormatArg> args{1.5};
  for (int i = 1; i <= 25; ++i) args.emplace_back(static_cast<double>(i));
  const std::string first = " CHISQ = 0.15000000E+01     NO. OF STEPS =     1.00     2.00     3.00     4.00     5.00"
                            "     6.00     7.00     8.00     9.00    10.00\n";
  const std::string pad(42, ' ');
  EXPECT_EQ(Format("(8H CHISQ =,E15.8,5X,14HNO. OF STEPS =,10F9.2,/,(42X,10F9.2))").render(args),
            first + pad +
                "    11.00    12.00    13.00    14.00    15.00    16.00    17.00    18.00    19.00    20.00\n" + pad +
                "    21.00    22.00    23.00    24.00    25.00\n");
  // The group's repeat count comes back with it; literals up to the next descriptor are written.
  EXPECT_EQ(render("(1H ,I2,1X,2(I2,'x'),'y')", {1, 2, 3, 4, 5, 6, 7}), "  1  2x 3xy\n 4x 5xy\n 6x 7xy\n");
  // Without a group the whole layout is used again.
  EXPECT_EQ(render("(1H ,I2)", {1, 2, 3}), "  1\n  2\n  3\n");
  EXPECT_EQ(render("(1H ,2I3)", {1, 2, 3}), "   1  2\n   3\n");
}

TEST(Layout, ScaleFactorStaysInForceAcrossReversion) {
  EXPECT_EQ(render("(1H ,E10.3,1P,E10.3)", {1.0, 1.0, 1.0, 1.0}), "  0.100E+01 1.000E+00\n  1.000E+00 1.000E+00\n");
  EXPECT_EQ(render("(1H ,I2,2(1X,1P,G11.4))", {1, 1.0, 2.0, 3, 4.0}),
            "  1   1.000       2.000    \n   3.000       4.000    \n");
  // 1P applies to every following E and G, 0P resets it.
  EXPECT_EQ(render("(1P,E9.2,E9.2,0P,E9.2)", {1.0, 2.0, 3.0}), " 1.00E+00 2.00E+00 0.30E+01\n");
}

TEST(Layout, NestedGroups) {
  EXPECT_EQ(render("(1H ,2(I1,2(A)),'|')", {1, "a", "b", 2, "c", "d"}), " 1ab2cd|\n");
  EXPECT_EQ(render("(1H ,/,1H ,'VORNE commands: ',/,/,2(1H ,2(A,'  '),/),/)", {"DATA", "SAVE", "EXIT", "HELP"}),
            " \n VORNE commands: \n\n DATA  SAVE  \n EXIT  HELP  \n\n\n");
  EXPECT_EQ(render("(2(2(2(I1))))", {1, 2, 3, 4, 5, 6, 7, 8}), "12345678\n");
}

TEST(Layout, SlashesAndDollar) {
  EXPECT_EQ(render("(1H ,/)", {}), " \n\n");
  EXPECT_EQ(render("(A)", {}), "\n");
  EXPECT_EQ(render("(1H ,'a',//,'b')", {}), " a\n\nb\n");
  EXPECT_EQ(render("(1H ,'a',2/'b')", {}), " a\n\nb\n");
  EXPECT_EQ(render("(A,' ',$)", {"name"}), "name ");
  EXPECT_EQ(render("(1H ,'Current diagnostic is ',I3,' > ',$)", {5}), " Current diagnostic is   5 > ");
  // A record ended by '/' after '$' ends as usual; only the last one stays open.
  EXPECT_EQ(render("(1H ,'a',$,/,'b')", {}), " a\nb\n");
  EXPECT_EQ(render("(A,$)", {"x", "y"}), "x\ny");
}

TEST(Layout, OutputStopsAtTheFirstDescriptorWithoutAValue) {
  EXPECT_EQ(render("(1H ,I2,' sep ',I2,' end')", {1}), "  1 sep \n");
  EXPECT_EQ(render("(1H ,I2,:,' sep ',I2)", {1}), "  1\n");
  EXPECT_EQ(render("(1H ,I2,:,' sep ',I2)", {1, 2}), "  1 sep  2\n");
  EXPECT_EQ(render("(1H ,'  Element> ',40(1X,A))", {"a", "b"}), "   Element>  a b\n");
  EXPECT_EQ(render("(1H ,'Total ',I5)", {}), " Total \n");
}

TEST(Layout, SkippedPositionsAreBlankOnlyBeforeLaterText) {
  EXPECT_EQ(render("(A,5X)", {"ab"}), "ab\n");
  EXPECT_EQ(render("(A,5X,A)", {"ab", "cd"}), "ab     cd\n");
  EXPECT_EQ(render("(3X)", {}), "\n");
  EXPECT_EQ(render("(A,3X,$)", {"q"}), "q");
  EXPECT_EQ(render("(1X,I2,X,I2)", {1, 2}), "  1  2\n");
}

TEST(Layout, AsterisksForFieldsTooNarrow) {
  EXPECT_EQ(render("(1H ,I2,F5.2,1P,G8.2,E8.1)", {123, 100.0, -1e100, -1e100}), " ***************-1.0+100\n");
  EXPECT_EQ(render("(1H ,'?VORNE - ',I3,' is not a valid element number, max = ',I2)", {1234, 40}),
            " ?VORNE - *** is not a valid element number, max = 40\n");
}

TEST(Layout, ValuesOfTheWrongKindNeverCrash) {
  EXPECT_EQ(render("(I5,F6.2,G10.3)", {2.9, 3, 7}), "    2  3.00  7.00    \n");
  EXPECT_EQ(render("(I5)", {-2.9}), "   -2\n");
  EXPECT_EQ(render("(I5,I5,I5)", {kNaN, 1e30, kInf}), "***************\n");
  EXPECT_EQ(render("(A3,A,A,F6.2,I3,E9.2)", {1.0, 2.0, 3, "x", "y", "z"}), std::string(33, '*') + "\n");
  // Values beyond the layout's descriptors are dropped, not looped over.
  EXPECT_EQ(render("('no data')", {1, 2}), "no data\n");
  EXPECT_EQ(render("(I2,(1X))", {1, 2}), " 1\n");
}

TEST(Layout, UnsignedCountsAreIntegers) {
  EXPECT_EQ(render("(I3,I3)", {std::size_t{7}, 12u}), "  7 12\n");
  EXPECT_EQ(FormatArg(~0ULL).integer(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(FormatArg(-7.9).integer(), -7);
  EXPECT_EQ(FormatArg(1e300).integer(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(FormatArg(kNaN).integer(), 0);
}

TEST(Layout, LowerCaseDescriptorsBlanksAndOptionalCommas) {
  EXPECT_EQ(render("( 1h , i3 , 1p g12.5 , f6.2 )", {7, 1.5, 2.25}), "   7  1.5000     22.50\n");
  EXPECT_EQ(render("(1PE12.5)", {2500.0}), " 2.50000E+03\n");
  EXPECT_EQ(render("(I2/I2)", {1, 2}), " 1\n 2\n");
}

TEST(Layout, MalformedLayoutsAreRefusedWhenParsed) {
  for (const char* bad : {"", "I2", "(I2", "(I2))", "(I2,)", "(,I2)", "(I2,,I3)", "(I2 I3)", "(Q5)", "(F5)",
                          "(F5.)", "(E12)", "(I0)", "(0X)", "(0(I2))", "(5H abc)", "('abc)", "(2'ab')", "(P)",
                          "(-2X)", "(I5.7)", "(A0)", "(G13.5E0)", "(T10,A)", "(99999999I2)",
                          "(32767(32767(1X)))", "(2$)"}) {
    EXPECT_THROW(Format{bad}, std::invalid_argument) << bad;
  }
  std::string deep = "(";
  for (int i = 0; i < 40; ++i) deep += "(";
  deep += "I2";
  for (int i = 0; i < 41; ++i) deep += ")";
  EXPECT_THROW(Format{deep}, std::invalid_argument);
}

TEST(Layout, ParsedOnceAndReusable) {
  static const Format kMsg{"(1H ,'Diagnostic set to ',I3)"};
  EXPECT_EQ(kMsg.render({1}), " Diagnostic set to   1\n");
  EXPECT_EQ(kMsg.render({-12}), " Diagnostic set to -12\n");
  Format moved = Format("(I1)");
  EXPECT_EQ(moved.render({9}), "9\n");
}

// ---- List-directed records ----

TEST(ListDirected, TextsIntegersAndReals) {
  using qx::render_list;
  EXPECT_EQ(render_list({"LQOUT not implemented"}), " LQOUT not implemented\n");
  EXPECT_EQ(render_list({"Call to STEPIT: NV=", 5}), " Call to STEPIT: NV=           5\n");
  EXPECT_EQ(render_list({5, "abc"}), "           5 abc\n");
  EXPECT_EQ(render_list({"abc", "def", 7, 8, "x", 1.5, "y"}),
            " abcdef           7           8 x   1.5000000000000000      y\n");
  EXPECT_EQ(render_list({-1, 0, 2147483647, -2147483648LL}), "          -1           0  2147483647 -2147483648\n");
  EXPECT_EQ(render_list({123456789012LL}), "         123456789012\n");
  EXPECT_EQ(render_list({}), "\n");
  EXPECT_EQ(render_list({""}), " \n");
  EXPECT_EQ(render_list({"a", "", "b"}), " ab\n");
}

TEST(ListDirected, RealFormsAndWidths) {
  using qx::render_list;
  EXPECT_EQ(render_list({0.5}), "  0.50000000000000000     \n");
  EXPECT_EQ(render_list({1.0 / 3.0, -1.0 / 3.0}), "  0.33333333333333331      -0.33333333333333331     \n");
  EXPECT_EQ(render_list({123456.789}), "   123456.78900000000     \n");
  EXPECT_EQ(render_list({1e16, 1e15}), "   10000000000000000.        1000000000000000.0     \n");
  EXPECT_EQ(render_list({1e17}), "   1.0000000000000000E+017\n");
  EXPECT_EQ(render_list({1.0 / 11.0, 1e-300, 1e300}),
            "   9.0909090909090912E-002   1.0000000000000000E-300   1.0000000000000001E+300\n");
  EXPECT_EQ(render_list({0.0, -0.0}), "   0.0000000000000000        0.0000000000000000     \n");
  EXPECT_EQ(render_list({kInf, -kInf, kNaN}),
            "                  Infinity                 -Infinity                       NaN\n");
  EXPECT_EQ(render_list({" nstep", 10, " icollx ", 0.5}), "  nstep          10  icollx   0.50000000000000000     \n");
}

}  // namespace
