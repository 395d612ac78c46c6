// Commands of the table that this version does not provide say so instead of returning
// silently, at the keyboard and in a macro, and leave the system and its files alone.
#include <gtest/gtest.h>

#include <string>

#include "session.h"

namespace {

TEST(UnavailableCommands, TraceAndSpecSaySoAndChangeNothing) {
  const qxtest::TempDir dir;
  const std::string system =
      "Drift\n0 1 1.00728 3 -1\n1 5e-6 2e-4 5e-6 2e-4 0.01\n3.00 1.0 0 0\n9 0 0 0\nSENTINEL\n";
  qxtest::write_file(dir / "d.vrn", system);
  qxtest::write_file(dir / "m.vcm", "TRACE\n");
  const qxtest::RunResult r = qxtest::run_program(qxtest::vorne_exe(), "DATA d\nTRACE\nSPEC\n@m\nEXIT\n", dir.path());
  EXPECT_EQ(r.status, 0);
  const std::string title = " Title: Drift" + std::string(45, ' ') + "\n";
  // After the macro the level is -2, and the drift is far from stigmatic: "sti> ".
  const std::string after_banner = r.out.substr(r.out.find(" vrn> "));
  EXPECT_EQ(after_banner, " vrn> " + title + " vrn>  %VORNE- TRACE is not available in this version.\n" +
                              " vrn>  %VORNE- SPEC is not available in this version.\n" +
                              " vrn>  vrn>_ TRACE\n %VORNE- TRACE is not available in this version.\n vrn>_ sti> ");
  EXPECT_EQ(qxtest::read_file(dir / "d.vrn"), system);
  EXPECT_FALSE(std::filesystem::exists(dir / "trace.dat"));
}

}  // namespace
