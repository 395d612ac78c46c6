// The command table and its matching rule, the element line of the listing and SAVE's records,
// in process.
#include "app/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "system/datafile.h"
#include "qx/text.h"
#include "qx/units.h"
#include "session.h"
#include "system/system.h"

namespace vorne {
namespace {

std::string word_of(std::string_view typed) {
  const int k = find_command(typed);
  return k < 0 ? std::string("-") : std::string(command_table()[static_cast<std::size_t>(k)].word);
}

TEST(CommandTable, AbbreviationsResolveInTableOrder) {
  EXPECT_EQ(word_of("E"), "EXIT");
  EXPECT_EQ(word_of("EX"), "EXIT");
  EXPECT_EQ(word_of("EXC"), "EXCITE");
  EXPECT_EQ(word_of("EL"), "ELEMEN");
  EXPECT_EQ(word_of("ELEMEN"), "ELEMEN");
  EXPECT_EQ(word_of("EF"), "EFFECT");
  EXPECT_EQ(word_of("CH"), "CHROM");
  EXPECT_EQ(word_of("SQ"), "SQUEEZ");
  EXPECT_EQ(word_of("C"), "CRAM");
  EXPECT_EQ(word_of("CO"), "COUPLE");
  EXPECT_EQ(word_of("S"), "S");
  EXPECT_EQ(word_of("ST"), "STIG");
  EXPECT_EQ(word_of("SA"), "SAVE");
  EXPECT_EQ(word_of("D"), "DATA");
  EXPECT_EQ(word_of("DI"), "DIAG");
  EXPECT_EQ(word_of("DIS"), "DISP");
  EXPECT_EQ(word_of("@"), "@");
  EXPECT_EQ(word_of("$"), "$");
  EXPECT_EQ(word_of("ID"), "IDLOUT");
  EXPECT_EQ(word_of("SETUP"), "-");
  EXPECT_EQ(word_of("EXITS"), "-");
  EXPECT_EQ(word_of(""), "-");
}

TEST(CommandTable, SixtySlotsFiftyFourInUse) {
  int used = 0;
  for (const Command& c : command_table()) {
    EXPECT_LE(c.word.size(), 6u);
    EXPECT_EQ(c.word.empty(), c.run == nullptr);
    if (!c.word.empty()) ++used;
  }
  EXPECT_EQ(used, 54);
  EXPECT_EQ(command_table()[53].word, "IDLOUT");
  EXPECT_EQ(command_table()[39].word, "@");
}

TEST(HelpFile, EveryCommandHasATopicOfItsOwn) {
  // The first word of each keyword record names a topic; every command word must be one.
  std::set<std::string> topics;
  std::istringstream help(qxtest::read_file(std::string(QX_HELP_SOURCE_DIR) + "/vorne.hlp"));
  for (std::string rec; std::getline(help, rec);) {
    ASSERT_LE(rec.size(), 80u) << rec;   // help records are read as 80 characters
    if (rec.empty() || rec[0] != '#') continue;
    std::istringstream words(rec.substr(1));
    std::string first;
    words >> first;
    topics.insert(qx::upper(first));
  }
  EXPECT_TRUE(topics.count("HELP"));
  for (const Command& c : command_table()) {
    if (c.word.empty()) continue;
    EXPECT_TRUE(topics.count(std::string(c.word))) << c.word;
  }
}

LensSystem sample() {
  LensSystem s;
  s.p(1, 1) = 0.0;
  s.p(1, 2) = 1.0;
  s.p(1, 3) = 1.00728;
  s.p(1, 4) = 3.0;
  s.p(1, 5) = -1.0;
  s.p(2, 1) = 1.0;
  s.p(2, 2) = 1.0e-6;
  s.p(2, 3) = 2.5e-4;
  s.p(2, 4) = 0.0;
  s.p(2, 5) = -1.0e-3;
  s.p(3, 1) = 3.0;
  s.p(3, 2) = 2.5;
  s.p(3, 3) = 9.0;   // stray values of a drift are not shown
  s.p(4, 1) = 12.0;
  s.p(4, 2) = 0.2;
  s.p(4, 3) = -1500.0;
  s.p(4, 4) = 0.0;
  s.p(4, 5) = 123456.0;
  s.p(5, 1) = 9.0;
  s.izend = 5;
  return s;
}

TEST(ElementLine, LayoutsPerRowKind) {
  const LensSystem s = sample();
  qx::StringOutput out;
  write_element_line(out, s, 1);
  write_element_line(out, s, 2);
  write_element_line(out, s, 3);
  write_element_line(out, s, 4);
  write_element_line(out, s, 4, 3);
  EXPECT_EQ(out.text(),
            // The particle row is named as a collimator.
            " \n    1 Collimator 0.00   1.000       1.007       3.000      -1.000    \n"
            // Extents in micrometres, divergences in milliradians, G13.5 without scale factor.
            " \n  Beam data     1.0000     UM    0.25000     MR    0.00000E+00 UM    -1.0000     MR  \n"
            " \n    3 Drift      3.00   2.500    \n"
            // The electrostatic dipole is shown as a dipole.
            " \n    4 Dipole    12.00  0.2000      -1500.      0.0000E+00  1.2346E+05\n"
            " \n    4 Dipole    12.00  0.2000      -1500.    \n");
}

}  // namespace
}  // namespace vorne
