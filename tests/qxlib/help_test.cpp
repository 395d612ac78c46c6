#include "qx/help.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "qx/text.h"
#include "qx/units.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;

// Answers typed at a terminal, and a terminal someone reads: where the display pauses.
class TypedInput : public qx::StringInput {
 public:
  using qx::StringInput::StringInput;
  bool interactive() const override { return true; }
};
class WatchedOutput : public qx::StringOutput {
 public:
  bool interactive() const override { return true; }
};

std::string help(int mode, const fs::path& file, std::string_view keyword, const std::string& answers = "") {
  TypedInput in(answers);
  WatchedOutput out;
  qx::qxhelp(in, out, mode, qx::pad(file.string(), 50), keyword);
  return out.text();
}

std::string show(std::string_view keyword, const std::string& answers = "") {
  return help(0, qxtest::test_data("help_sample.hlp"), keyword, answers);
}

// "n1" .. "n2" lines of the paging file with the given prefix, each a record.
std::string lines(std::string_view prefix, int n1, int n2) {
  std::string s;
  for (int i = n1; i <= n2; ++i) s += std::string(prefix) + (i < 10 ? "0" : "") + std::to_string(i) + "\n";
  return s;
}

const std::string kMore = " Type RETURN for more...";

// ---- QXHELP ------------------------------------------------------------------------------

TEST(Qxhelp, AbbreviationMatchesWordBeginningsOnlyInFileOrder) {
  // '#ELEMENT,EDIT' and '#*REVIEW ELEMENTS' match; '#NEWELEMENT' does not.
  EXPECT_EQ(show("ELEM"),
            "Reviews and edits one element.\n"
            "\n"
            "  ELEMEN n shows row n.\n"
            "Lists the elements.\n"
            "\n");
  EXPECT_EQ(show("elem  "), show("ELEM"));
  EXPECT_EQ(show("EDIT"), "Reviews and edits one element.\n\n  ELEMEN n shows row n.\n\n");   // after a comma
  EXPECT_EQ(show("NEWELE"), "Makes a new element.\n\n");
}

TEST(Qxhelp, KeywordGroupIntroducesItsTextOnce) {
  const std::string text = "Quadrupole text shared by both records.\n\n";
  EXPECT_EQ(show("QUAD"), text);
  EXPECT_EQ(show("QUADRU"), text);   // only the group's second record matches
  EXPECT_EQ(show("OTHER"), "Lower-case keywords are upper-cased.\n\n");
}

TEST(Qxhelp, OnlyTheFirstOccurrenceInARecordCounts) {
  // 'LENS' stands in '#XLENS LENS' as a word, but its first occurrence follows an X.
  EXPECT_EQ(show("LENS"), "\n\n\n No help information available on LENS\n\n\n");
}

TEST(Qxhelp, NoMatchingTopicSaysSo) {
  EXPECT_EQ(show("zz"), "\n\n\n No help information available on ZZ\n\n\n");
  EXPECT_EQ(show("ARE"), "\n\n\n No help information available on ARE\n\n\n");   // preamble never searched
}

TEST(Qxhelp, ListModeWritesSixNamesToALine) {
  EXPECT_EQ(help(1, qxtest::test_data("help_sample.hlp"), "      "),
            "\n List of keywords for help information:\n\n"
            "ELEMENT    REVIEW     NEWELEMENT QUAD       MISC       XLENS     \n"
            "VERYLONGKE \n");
}

TEST(Qxhelp, ListModeWithSixTopicsEndsWithAnEmptyLine) {
  qxtest::TempDir dir;
  // #A and #B form one group, as do #F and #G,H: six topics.
  qxtest::write_file(dir / "six.hlp", "#A\n#B\nb\n#C\nc\n#D\nd\n#E\ne\n#F\n#G,H\ng\n#I\ni\n");
  EXPECT_EQ(help(1, dir / "six.hlp", "X"),
            "\n List of keywords for help information:\n\n"
            "A          C          D          E          F          I         \n"
            "\n");
}

TEST(Qxhelp, PagesAfterTwentyLines) {
  const fs::path file = qxtest::test_data("help_paging.hlp");
  EXPECT_EQ(help(0, file, "LONG", "\n"), lines("long line ", 1, 20) + kMore + lines("long line ", 21, 25) + "\n");
  EXPECT_EQ(help(0, file, "LONG", "x\n"), help(0, file, "LONG", "\n"));   // anything but q goes on
}

TEST(Qxhelp, QuitOrEndOfInputAtThePauseEndsAtOnce) {
  const fs::path file = qxtest::test_data("help_paging.hlp");
  const std::string stopped = lines("long line ", 1, 20) + kMore;
  EXPECT_EQ(help(0, file, "LONG", "q\n"), stopped);
  EXPECT_EQ(help(0, file, "LONG", "Quit\n"), stopped);   // one character is read
  EXPECT_EQ(help(0, file, "LONG", ""), stopped);
}

// From a macro or a pipe, or onto something that is not a terminal, the whole topic is
// shown and the next line stays for the command loop.
TEST(Qxhelp, NoPauseUnlessTypedAtAndShownOnATerminal) {
  const std::string file = qx::pad(qxtest::test_data("help_paging.hlp").string(), 50);
  const std::string whole = lines("long line ", 1, 25) + "\n";
  auto run = [&](qx::Input& in, qx::StringOutput& out) {
    qx::qxhelp(in, out, 0, file, "LONG");
    std::string next;
    EXPECT_EQ(in.read_line(next), qx::ReadStatus::ok);
    EXPECT_EQ(next, "DIAG 2");
    return out.text();
  };
  qx::StringInput piped("DIAG 2\n");
  WatchedOutput watched;
  EXPECT_EQ(run(piped, watched), whole);
  TypedInput typed("DIAG 2\n");
  qx::StringOutput captured;
  EXPECT_EQ(run(typed, captured), whole);
}

TEST(Qxhelp, LineCountRunsAcrossTopics) {
  EXPECT_EQ(help(0, qxtest::test_data("help_paging.hlp"), "PART", "\n"),
            lines("one ", 1, 12) + lines("two ", 1, 8) + kMore + lines("two ", 9, 12) + "\n");
}

TEST(Qxhelp, MissingOrUnreadableFileIsReported) {
  qxtest::TempDir dir;
  const fs::path missing = dir / "none.hlp";
  EXPECT_EQ(help(0, missing, "HELP"),
            " No help information available,\n " + missing.string() + " does not exist.\n");
  fs::create_directory(dir / "adir.hlp");
  EXPECT_EQ(help(0, dir / "adir.hlp", "HELP"), " Error opening " + qx::pad((dir / "adir.hlp").string(), 50) + "\n");
}

TEST(Qxhelp, HostileFilesAndKeywordsDoNotBreakIt) {
  qxtest::TempDir dir;
  std::string bytes = "#";
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  bytes += "\n#" + std::string(10000, 'K') + "\n" + std::string(10000, 'x') + "\n#\n#*\n";
  qxtest::write_file(dir / "odd.hlp", bytes);
  EXPECT_NO_THROW(help(1, dir / "odd.hlp", "K"));
  EXPECT_EQ(help(0, dir / "odd.hlp", "KKKKKKKKKK"), std::string(80, 'x') + "\n\n");   // records are A80
  EXPECT_NO_THROW(help(0, dir / "odd.hlp", std::string(10000, '\xff')));
}

// ---- QXSHEL ------------------------------------------------------------------------------

TEST(Qxshel, ReportsTheCommandsStatus) {
  qxtest::TempDir dir;
  EXPECT_EQ(qx::qxshel("true                 "), 0);   // trailing blanks of the field go along
  EXPECT_NE(qx::qxshel("exit 3"), 0);
  const fs::path out = dir / "said.txt";
  EXPECT_EQ(qx::qxshel("printf '%s' 'a  b' > '" + out.string() + "'  "), 0);
  EXPECT_EQ(qxtest::read_file(out), "a  b");
  // A NUL byte would cut the command short: it is refused, not run in part.
  EXPECT_NE(qx::qxshel("touch '" + out.string() + "2'" + std::string(1, '\0') + ".x"), 0);
  EXPECT_FALSE(fs::exists(out.string() + "2"));
}

// ---- QXTIME ------------------------------------------------------------------------------

// Runs the test in a scratch directory with stand-in commands first on PATH.
class ShellScene {
 public:
  ShellScene() : old_dir_(fs::current_path()), old_path_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    fs::create_directory(dir_ / "bin");
    fs::current_path(dir_.path());
    ::setenv("PATH", ((dir_ / "bin").string() + ":" + old_path_).c_str(), 1);
  }
  ~ShellScene() {
    ::setenv("PATH", old_path_.c_str(), 1);
    fs::current_path(old_dir_);
  }
  ShellScene(const ShellScene&) = delete;
  ShellScene& operator=(const ShellScene&) = delete;

  void stand_in(std::string_view name, std::string_view script) {
    const fs::path p = dir_ / "bin" / name;
    qxtest::write_file(p, "#!/bin/sh\n" + std::string(script));
    fs::permissions(p, fs::perms::owner_all);
  }
  const qxtest::TempDir& dir() const { return dir_; }

 private:
  qxtest::TempDir dir_;
  fs::path old_dir_;
  std::string old_path_;
};

TEST(Qxtime, ReadsTheClockFromTheDateCommandInTheCLocale) {
  ShellScene scene;
  scene.stand_in("date",
                 "if [ \"$LC_ALL\" = C ]; then echo 'Tue Dec  8 17:30:11 UTC 2026'; "
                 "else echo 'Di 8. Dez 17:30:11 UTC 2026'; fi\n");
  EXPECT_EQ(qx::qxtime(), "17:30:11");
  EXPECT_FALSE(fs::exists(scene.dir() / "qxdate.tmp"));
}

TEST(Qxtime, AnythingButAClockGivesBlanksAndNoScratchFile) {
  ShellScene scene;
  for (const char* script : {"echo 'Tue Dec  8 7:30:11 UTC 2026'\n", "echo 'Tue Dec  8 17:3O:11 UTC 2026'\n",
                             "echo short\n", "exit 1\n", "printf '\\000\\377'\n"}) {
    scene.stand_in("date", script);
    EXPECT_EQ(qx::qxtime(), "        ") << script;
    EXPECT_FALSE(fs::exists(scene.dir() / "qxdate.tmp")) << script;
  }
}

TEST(Qxtime, RealDateCommandGivesAClock) {
  ShellScene scene;
  const std::string t = qx::qxtime();
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[2], ':');
  EXPECT_EQ(t[5], ':');
}

}  // namespace
