// Reading and writing the system data file in process: the loader's outcomes, hand-written
// record forms, the layouts SAVE writes and what they read back as.
#include "system/datafile.h"

#include <gtest/gtest.h>

#include <string>

#include "qx/text.h"
#include "qx/units.h"
#include "session.h"
#include "system/system.h"

namespace vorne {
namespace {

LoadResult load(const std::string& text, LensSystem& s) {
  qx::StringInput in(text, 1);
  return read_system(in, s);
}

const std::string kParticleAndBeam =
    " Test system\n"
    "  0.00   ,    1.000000,    1.007280,    3.000000,   -1.000000\n"
    "  1.00   ,    0.000005,    0.000200,    0.000005,    0.000200,    0.010000\n";

TEST(ReadSystem, LoadsRecordsIntoTheirRowsAndColumns) {
  LensSystem s;
  ASSERT_EQ(load(kParticleAndBeam +
                     "  3.00   ,    5.000000,    0.000000,    0.000000\n"
                     "  4.10   ,    0.070000,    0.252666,    0.005000\n"
                     "  9.00   ,    0.000000,    0.000000,    0.000000\n"
                     " SENTINEL\n",
                 s),
            LoadResult::loaded);
  EXPECT_EQ(s.title, qx::pad(" Test system", kTitleLength));
  EXPECT_EQ(s.izend, 5);
  EXPECT_EQ(s.p(1, 2), 1.0);
  EXPECT_EQ(s.p(1, 3), 1.00728);
  EXPECT_EQ(s.p(1, 4), 3.0);
  EXPECT_EQ(s.p(1, 5), -1.0);
  EXPECT_EQ(s.p(1, 12), 3.0);   // the energy as loaded
  EXPECT_EQ(s.p(2, 6), 0.01);
  for (int col = 2; col <= 6; ++col) EXPECT_EQ(s.p(2, col + 5), s.p(2, col)) << col;
  EXPECT_EQ(s.p(3, 2), 5.0);
  EXPECT_EQ(s.p(4, 1), 4.10);
  EXPECT_EQ(s.p(4, 3), 0.252666);
  EXPECT_EQ(s.p(5, 1), 9.0);
  EXPECT_EQ(s.p(6, 1), 0.0);
}

TEST(ReadSystem, HandWrittenFormsLoad) {
  // Records over several lines, "/" ending a record early, blanks as separators, E forms.
  LensSystem s;
  ASSERT_EQ(load(std::string("title\n") +
                     "0 1\n 1.00728\n 3 -2\n"
                     "1 1.5E-6 2e-4 /\n"
                     "3.00 5 /\n"
                     "14.10 .1 -2000 .003\n"
                     "4.01, 0.1, 2.0E5, 0.005\n"
                     "9 /\n",
                 s),
            LoadResult::loaded);
  EXPECT_EQ(s.p(1, 5), -2.0);
  EXPECT_EQ(s.p(2, 2), 1.5E-6);
  EXPECT_EQ(s.p(2, 3), 2e-4);
  EXPECT_EQ(s.p(2, 4), 0.0);
  EXPECT_EQ(s.p(2, 6), 0.0);
  EXPECT_EQ(s.p(3, 2), 5.0);
  EXPECT_EQ(s.p(3, 3), 0.0);
  EXPECT_EQ(s.p(4, 3), -2000.0);
  EXPECT_EQ(s.p(5, 3), 2.0E5);
  EXPECT_EQ(s.izend, 6);
  EXPECT_EQ(s.title, qx::pad("title", kTitleLength));
}

TEST(ReadSystem, TitleKeepsLeadingBlanksAndItsFirst50Characters) {
  LensSystem s;
  const std::string long_title = "   " + std::string(60, 'x');
  ASSERT_EQ(load(long_title + "\n0 1 1 1 0\n1 0 0 0 0 0\n9 0 0 0\n", s), LoadResult::loaded);
  EXPECT_EQ(s.title, long_title.substr(0, 50));
}

TEST(ReadSystem, Outcomes) {
  LensSystem s;
  EXPECT_EQ(load("SENTINEL\n", s), LoadResult::end_of_data);
  EXPECT_EQ(load("SENT and more\n0 1 1 1 0\n", s), LoadResult::end_of_data);
  EXPECT_EQ(load(" SENTINEL\n0 1 1 1 0\n1 0 0 0 0 0\n9 0 0 0\n", s), LoadResult::loaded);   // not at column 1
  EXPECT_EQ(load("", s), LoadResult::read_error);
  EXPECT_EQ(load("t\n", s), LoadResult::read_error);
  EXPECT_EQ(load("t\n0 1 1 1 0\n1 0 0 0 0 0\n3 1 0 0\n", s), LoadResult::read_error);   // no System End
  EXPECT_EQ(load("t\n0 1 1 x 0\n", s), LoadResult::read_error);
  EXPECT_EQ(load("t\n0 1 1 1 0\n1 0 0 0 0 0\n4.1 0.1 abc 0.005\n9 0 0 0\n", s), LoadResult::read_error);
  EXPECT_EQ(load("t\n1 1 1 1 0\n1 0 0 0 0 0\n9 0 0 0\n", s), LoadResult::wrong_first_elements);
  EXPECT_EQ(load("t\n0 1 1 1 0\n0 0 0 0 0 0\n9 0 0 0\n", s), LoadResult::wrong_first_elements);
  EXPECT_EQ(load("t\n0.99 1 1 1 0\n1.5 0 0 0 0 0\n9.00 0 0 0\n", s), LoadResult::loaded);
}

TEST(ReadSystem, TypeCodesOutsideTheTableAreSevereErrors) {
  LensSystem s;
  const std::string head = "t\n0 1 1 1 0\n1 0 0 0 0 0\n";
  EXPECT_EQ(load(head + "100 0.1 0 0\n9 0 0 0\n", s), LoadResult::read_error);
  EXPECT_EQ(load(head + "-3 0.1 0 0\n9 0 0 0\n", s), LoadResult::read_error);
  EXPECT_EQ(load(head + "99.99 0.1 0 0\n9 0 0 0\n", s), LoadResult::loaded);
  // A stored diagnostic level that is no integer the program can hold.
  EXPECT_EQ(load("t\n0 1 1 1 1e30\n1 0 0 0 0 0\n9 0 0 0\n", s), LoadResult::read_error);
}

TEST(ReadSystem, FortyRowsFitAndTheFortyFirstIsRefused) {
  std::string text = "t\n0 1 1 1 0\n1 0 0 0 0 0\n";
  for (int iz = 3; iz < kRows; ++iz) text += "3.00 0.1 0 0\n";
  LensSystem s;
  ASSERT_EQ(load(text + "9 0 0 0\n", s), LoadResult::loaded);
  EXPECT_EQ(s.izend, kRows);
  // One drift more puts the System End on row 41: refused, nothing written past row 40.
  EXPECT_EQ(load(text + "3.00 0.1 0 0\n9 0 0 0\n", s), LoadResult::read_error);
}

TEST(ReadSystem, ClearsWhatAnEarlierLoadLeft) {
  LensSystem s;
  s.p(7, 3) = 42.0;
  s.rotation(4) = 1.0;
  ASSERT_EQ(load("t\n0 1 1 1 0\n1 0 0 0 0 0\n9 0 0 0\n", s), LoadResult::loaded);
  EXPECT_EQ(s.p(7, 3), 0.0);
  EXPECT_EQ(s.rotation(4), 0.0);
  EXPECT_EQ(s.izend, 3);
}

// The title record SAVE writes for a title.
std::string title_record(const std::string& title) {
  LensSystem s;
  s.p(2, 1) = 1.0;
  s.p(3, 1) = 9.0;
  s.izend = 3;
  s.title = qx::pad(title, kTitleLength);
  qx::StringOutput out(1);
  write_system(out, s);
  return out.text().substr(0, out.text().find('\n'));
}

TEST(WriteSystem, TitleGetsOneLeadingBlankOnlyOnce) {
  EXPECT_EQ(title_record("Triplet"), " Triplet");
  EXPECT_EQ(title_record(" Triplet"), " Triplet");     // no second blank: no creeping titles
  EXPECT_EQ(title_record("   Indented"), "   Indented");
  EXPECT_EQ(title_record(""), " ");
  // Trailing TABs and carriage returns would come back as part of the line end.
  EXPECT_EQ(title_record("Tail\t\r\r  "), " Tail");
}

TEST(TypeCodeAsRead, WholeHundredthsAsUnpackSeesThem) {
  EXPECT_EQ(code_as_read(4.105), 4.10);
  EXPECT_EQ(code_as_read(4.10), 4.10);
  EXPECT_EQ(code_as_read(0.999), 0.99);
  EXPECT_EQ(code_class(0.999), 0);
  EXPECT_EQ(code_class(8.9999999), 9);   // unpack reads this as 9.00: the System End
  EXPECT_EQ(code_class(14.10), 14);
  EXPECT_EQ(code_class(100.0), -1);
  EXPECT_EQ(code_class(-0.5), -1);
}

}  // namespace
}  // namespace vorne
