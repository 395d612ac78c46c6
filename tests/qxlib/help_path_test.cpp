// The HELP command both programs share: where the help file is found, and what HELP/S does.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "graphics_capture.h"
#include "qx/command.h"
#include "qx/help.h"
#include "qx/session.h"
#include "qx/units.h"

namespace {

namespace fs = std::filesystem;

// A typed HELP line as the programs hand it over; the help file name is the program's.
std::string help(std::string_view typed, std::string& help_file, std::string_view local_name,
                 std::string_view built_name = "") {
  qx::StringOutput out;
  qx::Session s{out};
  qx::StringInput in("");
  const qx::CommandLine line = qx::prepare_line(typed, s);
  qx::help_command(in, out, line, help_file, local_name, built_name);
  return out.text();
}

// The help file where `make install` put it is found however long the installation's path
// is: only a name typed with HELP/S is cut to its 50-character field.
TEST(HelpCommand, InstalledFileOfEitherProgramIsFoundBeyondFiftyCharacters) {
  struct Row {
    const char* file;
    const char* topic;
    const char* text;
  };
  for (const Row& r : {Row{"vorne.hlp", "HELP EXIT", "EXIT [n] - leave the program."},
                       Row{"lumiray.hlp", "HELP FAKE", "FAKE makes a ray set"}}) {
    SCOPED_TRACE(r.file);
    const qxtest::InScratchDir dir;
    const fs::path lib = dir.path() / "a_rather_long_installation_prefix_for_the_programs" / "lib";
    fs::create_directories(lib);
    fs::copy_file(fs::path(QX_HELP_SOURCE_DIR) / r.file, lib / r.file);
    std::string help_file = (lib / r.file).string();
    ASSERT_GT(help_file.size(), 50u);
    const std::string text = help(r.topic, help_file, r.file);
    EXPECT_NE(text.find(r.text), std::string::npos) << text;
    EXPECT_EQ(text.find("No help information available"), std::string::npos) << text;
    EXPECT_EQ(help_file, (lib / r.file).string());   // kept for the next call
  }
}

TEST(HelpCommand, MissingFileFallsBackToTheLocalOneForGood) {
  const qxtest::InScratchDir dir;
  qxtest::write_file("local.hlp", "#HELP\nthe local help\n#OTHER\nother text\n");
  std::string help_file = "/nowhere/installed.hlp";
  EXPECT_EQ(help("HELP", help_file, "local.hlp"), "the local help\n\n");
  EXPECT_EQ(help_file, "local.hlp");
  EXPECT_EQ(help("HELP oth", help_file, "local.hlp"), "other text\n\n");
  // Neither file: the message says where the local file was looked for.
  fs::remove("local.hlp");
  EXPECT_EQ(help("HELP", help_file, "local.hlp"), " No help information available,\n " +
                                                      (fs::current_path() / "local.hlp").string() +
                                                      " does not exist.\n");
}

// A build that was never installed finds the help file of its source tree, after the
// installed path and the current directory; when there is none, the message names the three
// places looked at.
TEST(HelpCommand, SourceTreeFileServesABuildThatIsNotInstalled) {
  const qxtest::InScratchDir dir;
  fs::create_directories("src/help");
  const std::string built = (fs::current_path() / "src/help/p.hlp").string();
  const std::string here = (fs::current_path() / "p.hlp").string();
  const std::string installed = "/nowhere/lib/p.hlp";
  qxtest::write_file(built, "#HELP\nfrom the source tree\n");
  std::string help_file = installed;
  EXPECT_EQ(help("HELP", help_file, "p.hlp", built), "from the source tree\n\n");
  EXPECT_EQ(help_file, built);   // kept for the next call

  qxtest::write_file("p.hlp", "#HELP\nlocal\n");   // the current directory comes first
  help_file = installed;
  EXPECT_EQ(help("HELP", help_file, "p.hlp", built), "local\n\n");
  EXPECT_EQ(help_file, "p.hlp");

  fs::remove("p.hlp");
  fs::remove(built);
  help_file = installed;
  EXPECT_EQ(help("HELP", help_file, "p.hlp", built), " No help information available,\n " + installed +
                                                         " does not exist.\n " + here + " does not exist.\n " +
                                                         built + " does not exist.\n");
}

TEST(HelpCommand, HelpSChangesTheFileAndShowsItsHelpTopic) {
  const qxtest::InScratchDir dir;
  qxtest::write_file("Mine.hlp", "#HELP\nmine: general help\n#MINE\nnot this one\n");
  qxtest::write_file("local.hlp", "#HELP\nthe local help\n");
  std::string help_file = "local.hlp";
  // The name keeps its case; the topic is HELP, not the name.
  EXPECT_EQ(help("HELP/S Mine.hlp", help_file, "local.hlp"), "mine: general help\n\n");
  EXPECT_EQ(help_file, "Mine.hlp");
  EXPECT_EQ(help("HELP/B", help_file, "local.hlp"),
            "\n List of keywords for help information:\n\nHELP       MINE       \n");
  // A name cut at column 40 is not taken: its first part may name another file.
  const std::string text = help("HELP/S " + std::string(40, 'x') + ".hlp", help_file, "local.hlp");
  EXPECT_EQ(text.find(" Help file name cut at column 40; help file unchanged.\n"), 0u) << text;
  EXPECT_EQ(help_file, "Mine.hlp");
}

}  // namespace
