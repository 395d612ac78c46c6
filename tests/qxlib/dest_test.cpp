#include "qx/dest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "qx/command.h"
#include "qx/text.h"
#include "qx/units.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;

// A session working in a scratch directory, with a writable file standing in for the
// terminal device.
class DestScene {
 public:
  DestScene() : old_dir_(fs::current_path()) { fs::current_path(dir_.path()); }
  ~DestScene() { fs::current_path(old_dir_); }
  DestScene(const DestScene&) = delete;
  DestScene& operator=(const DestScene&) = delete;

  // The DEST command on a typed line, answering its prompt from answers.
  std::string dest(std::string_view typed, const std::string& answers = "", bool echo = false) {
    qx::StringInput in(answers);
    const qx::CommandLine line = qx::prepare_line(typed, session);
    out.clear();
    qx::dest_command(session, in, out, echo, line, tty);
    return out.text();
  }

  qxtest::TempDir dir_;
  const std::string tty = (dir_ / "tty").string();
  qx::StringOutput out;
  qx::Session session{out};

 private:
  fs::path old_dir_;
};

std::string set_to(std::string_view name) { return " TEK4010/4 destination set to" + qx::pad(name, 50) + "\n"; }
const std::string kUnchanged = " TEK4010/4 destination unchanged.\n";
const std::string kPrompt = " Destination for TEK4010/4 plot > ";

// ---- QXDEST ------------------------------------------------------------------------------

TEST(Qxdest, NamedFileBecomesTheDestinationUntilTheNext) {
  DestScene sc;
  std::string name = "plot.tek";
  qx::qxdest(sc.session, name, sc.tty);
  ASSERT_TRUE(sc.session.dest.is_open());
  EXPECT_EQ(sc.session.dest.name, "plot.tek");
  std::fputs("\x1b\x0c", sc.session.dest.file);

  name = "*";
  qx::qxdest(sc.session, name, sc.tty);
  EXPECT_EQ(name, sc.tty);   // the caller's field says where output goes now
  EXPECT_EQ(sc.session.dest.name, sc.tty);
  EXPECT_TRUE(sc.session.dest.is_open());
  EXPECT_EQ(qxtest::read_file("plot.tek"), "\x1b\x0c");   // closed with everything written
  EXPECT_EQ(sc.out.text(), "");
}

TEST(Qxdest, BlankNameOnlyNamesTheTerminal) {
  DestScene sc;
  std::string name(50, ' ');
  qx::qxdest(sc.session, name, sc.tty);
  EXPECT_EQ(name, sc.tty);
  EXPECT_FALSE(sc.session.dest.is_open());
  EXPECT_FALSE(fs::exists(sc.tty));
  std::string programs_name = "  ";
  qx::qxdest(sc.session, programs_name);
  EXPECT_EQ(programs_name, "/dev/tty");
}

TEST(Qxdest, ExistingFileIsReplaced) {
  DestScene sc;
  qxtest::write_file("old.tek", "old plot");
  std::string name = "old.tek" + std::string(43, ' ');   // a blank-padded 50-character field
  qx::qxdest(sc.session, name, sc.tty);
  EXPECT_EQ(sc.session.dest.name, "old.tek");
  sc.session.dest.close();
  EXPECT_EQ(qxtest::read_file("old.tek"), "");
}

TEST(Qxdest, ImpossiblePathFallsBackToTheTerminal) {
  DestScene sc;
  std::string name = "no/such/dir/x.tek";
  qx::qxdest(sc.session, name, sc.tty);
  EXPECT_EQ(sc.out.text(), " Unable to open output to no/such/dir/x.tek.\n\n");
  EXPECT_EQ(sc.session.dest.name, sc.tty);
  EXPECT_TRUE(sc.session.dest.is_open());
  EXPECT_TRUE(fs::exists(sc.tty));
}

TEST(Qxdest, UnreachableTerminalIsReportedToo) {
  DestScene sc;
  std::string name = "no/such/dir/x.tek";
  const std::string tty = "no/tty/here";
  qx::qxdest(sc.session, name, tty);
  EXPECT_EQ(sc.out.text(),
            " Unable to open output to no/such/dir/x.tek.\n\n"
            " Unable to reopen original channel: no/tty/here\n");
  EXPECT_FALSE(sc.session.dest.is_open());
  EXPECT_EQ(sc.session.dest.name, tty);
}

TEST(Qxdest, NameWithANulByteIsNotOpenedShortened) {
  DestScene sc;
  std::string name("a\0b", 3);
  qx::qxdest(sc.session, name, sc.tty);
  EXPECT_FALSE(fs::exists("a"));
  EXPECT_EQ(sc.session.dest.name, sc.tty);
}

// ---- DEST --------------------------------------------------------------------------------

TEST(DestCommand, TakesTheNameAsTyped) {
  DestScene sc;
  EXPECT_EQ(sc.dest("DEST 2d.tek"), set_to("2d.tek"));   // not "   2.0000"
  EXPECT_TRUE(fs::exists("2d.tek"));
  EXPECT_EQ(sc.dest("dest -old.tek"), set_to("-old.tek"));
  EXPECT_TRUE(fs::exists("-old.tek"));
  EXPECT_EQ(sc.dest("DEST *"), set_to(sc.tty));
  EXPECT_EQ(sc.session.dest.name, sc.tty);
}

TEST(DestCommand, AsksWhenNoNameIsGiven) {
  DestScene sc;
  EXPECT_EQ(sc.dest("DEST", "   plot.tek\n"), kPrompt + set_to("plot.tek"));
  EXPECT_TRUE(fs::exists("plot.tek"));
  EXPECT_EQ(sc.dest("DEST", "b.tek\n", true), kPrompt + " " + qx::pad("b.tek", 50) + "\n" + set_to("b.tek"));
}

TEST(DestCommand, BlankAnswerLeavesTheDestination) {
  DestScene sc;
  sc.dest("DEST a.tek");
  EXPECT_EQ(sc.dest("DEST", "\n"), kPrompt + kUnchanged);
  EXPECT_EQ(sc.dest("DEST", "\n", true), kPrompt + " " + std::string(50, ' ') + "\n" + kUnchanged);
  EXPECT_EQ(sc.session.dest.name, "a.tek");
  EXPECT_EQ(sc.dest("DEST", ""), kPrompt);   // end of input cancels the command
  EXPECT_EQ(sc.session.dest.name, "a.tek");
  EXPECT_TRUE(sc.session.dest.is_open());
}

TEST(DestCommand, ReportsTheTerminalAfterAFailedOpen) {
  DestScene sc;
  EXPECT_EQ(sc.dest("DEST nodir/p.tek"), " Unable to open output to nodir/p.tek.\n\n" + set_to(sc.tty));
}

TEST(DestCommand, NameCutAtColumn40IsAskedForAgain) {
  DestScene sc;
  const std::string typed = "DEST " + std::string(40, 'n') + ".tek";
  EXPECT_EQ(sc.dest(typed, "short.tek\n"), kPrompt + set_to("short.tek"));
  EXPECT_FALSE(fs::exists(std::string(35, 'n')));
}

TEST(DestCommand, OverlongOrHostileAnswersChangeNothing) {
  DestScene sc;
  sc.dest("DEST a.tek");
  const std::string refused = kPrompt + " Destination name longer than 50 characters.\n" + kUnchanged;
  EXPECT_EQ(sc.dest("DEST", std::string(51, 'x') + "\n"), refused);
  EXPECT_EQ(sc.dest("DEST", std::string(10000, 'x') + "\n"), refused);
  EXPECT_EQ(sc.session.dest.name, "a.tek");
  std::string bytes;
  for (int i = 1; i < 50; ++i)
    if (i != '\n' && i != '/') bytes.push_back(static_cast<char>(i + 200));
  EXPECT_NO_THROW(sc.dest("DEST", bytes + "\n"));
}

}  // namespace
