#include "qx/units.h"

#include <gtest/gtest.h>

#include "session.h"

namespace {

using qx::ReadStatus;

TEST(Units, StringInputRecordsAndRewind) {
  qx::StringInput in("first\r\n\nlast without end");
  std::string line;
  EXPECT_EQ(in.read_line(line), ReadStatus::ok);
  EXPECT_EQ(line, "first");
  EXPECT_EQ(in.read_line(line), ReadStatus::ok);
  EXPECT_EQ(line, "");
  EXPECT_EQ(in.read_line(line), ReadStatus::ok);
  EXPECT_EQ(line, "last without end");
  EXPECT_EQ(in.read_line(line), ReadStatus::eof);
  EXPECT_TRUE(in.rewind());
  EXPECT_EQ(qx::read_record(in, line, 3), ReadStatus::ok);
  EXPECT_EQ(line, "fir");
  EXPECT_EQ(qx::read_record(in, line, 3), ReadStatus::ok);
  EXPECT_EQ(line, "   ");
}

TEST(Units, MacroStackStopsAtItsDepthAndPopsToKeyboard) {
  qxtest::TempDir dir;
  qxtest::write_file(dir / "m.vcm", "one\n");
  qx::InputStack stack(std::make_unique<qx::StringInput>("kbd\n"), 2);
  EXPECT_FALSE(stack.in_macro());
  EXPECT_EQ(stack.unit(), 5);
  EXPECT_TRUE(stack.push(dir / "m.vcm"));
  EXPECT_TRUE(stack.push(dir / "m.vcm"));
  EXPECT_FALSE(stack.push(dir / "m.vcm"));   // third level refused
  EXPECT_FALSE(stack.push(dir / "missing.vcm"));
  EXPECT_EQ(stack.unit(), 25);
  std::string line;
  EXPECT_EQ(stack.current().read_line(line), ReadStatus::ok);
  EXPECT_EQ(line, "one");
  stack.pop();
  stack.pop();
  stack.pop();   // never below the keyboard
  EXPECT_EQ(stack.level(), 0);
  EXPECT_EQ(stack.current().read_line(line), ReadStatus::ok);
  EXPECT_EQ(line, "kbd");
}

TEST(Units, AtomicFileReplacesOnlyAtCommit) {
  qxtest::TempDir dir;
  qxtest::write_file(dir / "sys.vrn", "old\n");
  {
    auto f = qx::FileOutput::open(dir / "sys.vrn", qx::FileOutput::Mode::atomic, 2);
    ASSERT_TRUE(f);
    f->put("new\n");
    EXPECT_EQ(qxtest::read_file(dir / "sys.vrn"), "old\n");   // interrupted here: nothing lost
  }
  EXPECT_EQ(qxtest::read_file(dir / "sys.vrn"), "old\n");     // dropped without commit
  auto f = qx::FileOutput::open(dir / "sys.vrn", qx::FileOutput::Mode::atomic, 2);
  f->put("new\n");
  EXPECT_TRUE(f->commit());
  EXPECT_EQ(qxtest::read_file(dir / "sys.vrn"), "new\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(Units, CreateNewRefusesAnExistingFile) {
  qxtest::TempDir dir;
  qxtest::write_file(dir / "a.lpt", "x");
  EXPECT_FALSE(qx::FileOutput::open(dir / "a.lpt", qx::FileOutput::Mode::create_new, 2));
  EXPECT_TRUE(qx::FileOutput::open(dir / "b.lpt", qx::FileOutput::Mode::create_new, 2));
}

TEST(Units, OutputRemembersAnOpenLine) {
  qx::StringOutput out;
  out.put(" vrn> ");
  EXPECT_TRUE(out.line_open());
  out.put("+EXIT\n");
  EXPECT_FALSE(out.line_open());
  EXPECT_EQ(out.text(), " vrn> +EXIT\n");
}

}  // namespace
