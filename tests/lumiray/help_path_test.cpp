// The help file where `make install` put it is found however long the installation's path
// is: only a name typed with HELP/S is cut to its 50-character field.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/commands.h"
#include "qx/units.h"
#include "session.h"
#include "app/state.h"

namespace {

namespace fs = std::filesystem;

TEST(LumirayHelpPath, InstalledFileIsFoundBeyondFiftyCharacters) {
  const qxtest::TempDir dir;
  const fs::path lib = dir / "a_rather_long_installation_prefix_for_the_programs" / "lib";
  fs::create_directories(lib);
  fs::copy_file(fs::path(QX_HELP_SOURCE_DIR) / "lumiray.hlp", lib / "lumiray.hlp");
  ASSERT_GT((lib / "lumiray.hlp").string().size(), 50u);

  qx::StringOutput out;
  lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(""));
  s.help_file = (lib / "lumiray.hlp").string();
  lumiray::run_line(s, "HELP FAKE");
  EXPECT_NE(out.text().find("FAKE makes a ray set"), std::string::npos) << out.text();
  EXPECT_EQ(out.text().find("No help information available"), std::string::npos) << out.text();
}

}  // namespace
