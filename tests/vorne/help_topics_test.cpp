// Help topics of the graphics library's commands, and the table of words that run a library
// command and a vorne command together, checked against both command tables as listed by
// MENU.
#include <gtest/gtest.h>

#include <string>

#include "abbreviations.h"
#include "session.h"
#include "vorne_session.h"

namespace {

std::string help_text() { return qxtest::read_file(std::string(QX_HELP_SOURCE_DIR) + "/vorne.hlp"); }

TEST(VorneHelpTopics, LibraryTopicsAndAbbreviationTableFollowBothCommandTables) {
  qxtest::expect_help_overlaps(qxtest::vorne_exe(), help_text(), "VORNE commands:", {});
}

TEST(VorneHelpTopics, HelpDestShowsTheDestinationTopic) {
  const qxtest::TempDir dir;
  qxtest::write_file(dir / "vorne.hlp", help_text());
  const vorne_session::Session r = vorne_session::run(dir, "HELP DEST\nEXIT\n");
  EXPECT_NE(r.out.find(" DEST [name] - where the graphics-terminal output goes"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("No help information available"), std::string::npos) << r.out;
}

// The MASK topic is longer than a screen; from a macro or a pipe it is shown whole and the
// next line is the next command, not the answer to a pause.
TEST(VorneHelpTopics, LongTopicFromAMacroOrAPipeDoesNotEatTheNextLine) {
  const qxtest::TempDir dir;
  qxtest::write_file(dir / "vorne.hlp", help_text());
  qxtest::write_file(dir / "h.vcm", "HELP MASK\nDIAG 2\n");
  for (const std::string script : {"HELP MASK\nDIAG 2\nEXIT\n", "@h\nEXIT\n"}) {
    const qxtest::RunResult r = qxtest::run_program(qxtest::vorne_exe(), script, dir.path());
    EXPECT_EQ(r.out.find("Type RETURN for more"), std::string::npos) << script << r.out;
    EXPECT_NE(r.out.find(" MASK/F repeats the last masks"), std::string::npos) << script << r.out;   // its end
    EXPECT_NE(r.out.find("Diagnostic set to   2"), std::string::npos) << script << r.out;
  }
}

// Run from the build folder in a scratch directory, with no help file installed or at hand,
// HELP finds the help file of the source tree.
TEST(VorneHelpTopics, HelpFromAScratchDirectoryUsesTheSourceTree) {
  const qxtest::TempDir dir;
  const qxtest::RunResult r = qxtest::run_program(qxtest::vorne_exe(), "HELP DATA\nEXIT\n", dir.path());
  EXPECT_NE(r.out.find(" DATA [name] - load a lens system"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("No help information available"), std::string::npos) << r.out;
}

}  // namespace
