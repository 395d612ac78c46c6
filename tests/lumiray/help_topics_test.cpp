// Help topics of the graphics library's commands, and the table of words that run a library
// command and a lumiray command together, checked against both command tables as listed by
// MENU. A line the library took never runs DELETE as well.
#include <gtest/gtest.h>

#include <string>

#include "abbreviations.h"
#include "session.h"

namespace {

std::string help_text() { return qxtest::read_file(std::string(QX_HELP_SOURCE_DIR) + "/lumiray.hlp"); }

TEST(LumirayHelpTopics, LibraryTopicsAndAbbreviationTableFollowBothCommandTables) {
  qxtest::expect_help_overlaps(qxtest::lumiray_exe(), help_text(), "LUMIRAY commands:", {"DELETE"});
}

// DE runs DEFINE alone, as the table says: the plot-file name is set and nothing deleted.
TEST(LumirayHelpTopics, HelpDefineShowsTheTopicAndDeRunsOnlyDefine) {
  const qxtest::TempDir dir;
  qxtest::write_file(dir / "fig", "keep");
  qxtest::write_file(dir / "lumiray.hlp", help_text());
  const qxtest::RunResult r = qxtest::run_program(qxtest::lumiray_exe(), "HELP DEFINE\nDE/H fig\nEXIT\n", dir.path());
  EXPECT_NE(r.out.find(" DEFINE[/x] [name] sets the plot scale"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("No help information available"), std::string::npos) << r.out;
  EXPECT_EQ(qxtest::read_file(dir / "fig"), "keep");
}

// Run from the build folder in a scratch directory, with no help file installed or at hand,
// HELP finds the help file of the source tree.
TEST(LumirayHelpTopics, HelpFromAScratchDirectoryUsesTheSourceTree) {
  const qxtest::TempDir dir;
  const qxtest::RunResult r = qxtest::run_program(qxtest::lumiray_exe(), "HELP DATA\nEXIT\n", dir.path());
  EXPECT_NE(r.out.find(" DATA name opens the ray file name"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("No help information available"), std::string::npos) << r.out;
}

}  // namespace
