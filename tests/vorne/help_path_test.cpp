// The help file where `make install` put it is found however long the installation's path
// is: only a name typed with HELP/S is cut to its 50-character field.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/loop.h"
#include "qx/units.h"
#include "session.h"
#include "session/state.h"

namespace {

namespace fs = std::filesystem;

TEST(HelpPath, InstalledFileIsFoundBeyondFiftyCharacters) {
  const qxtest::TempDir dir;
  const fs::path lib = dir / "a_rather_long_installation_prefix_for_the_programs" / "lib";
  fs::create_directories(lib);
  fs::copy_file(fs::path(QX_HELP_SOURCE_DIR) / "vorne.hlp", lib / "vorne.hlp");
  ASSERT_GT((lib / "vorne.hlp").string().size(), 50u);

  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("")};
  v.help_file = (lib / "vorne.hlp").string();
  vorne::run_line(v, "HELP EXIT");
  EXPECT_NE(term.text().find("EXIT [n] - leave the program."), std::string::npos) << term.text();
  EXPECT_EQ(term.text().find("No help information available"), std::string::npos) << term.text();
}

}  // namespace
