// Real clients of the plot files. Every SVG file a test writes is checked: xmllint parses it
// as XML and rsvg-convert renders it to a PNG, without a complaint.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "session.h"

namespace qxtest {

// Runs a command; false with what it wrote on stderr when it fails or complains.
inline bool run_quietly(const std::string& command, std::string& complaint) {
  const int status = std::system((command + " 2> client.err").c_str());
  complaint = read_file("client.err");
  return status == 0 && complaint.empty();
}

inline bool have_program(const char* program) {
  return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}

// Checks every .svg file in the current directory; returns how many there were.
inline int check_svg_files() {
  EXPECT_TRUE(have_program("xmllint") && have_program("rsvg-convert")) << "make deps installs them";
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) {
    if (e.path().extension() != ".svg") continue;
    ++n;
    const std::string name = e.path().filename().string();
    std::string complaint;
    EXPECT_TRUE(run_quietly("xmllint --noout '" + name + "'", complaint)) << name << ": " << complaint;
    EXPECT_TRUE(run_quietly("rsvg-convert -o '" + name + ".png' '" + name + "'", complaint))
        << name << ": " << complaint;
    EXPECT_GT(std::filesystem::file_size(name + ".png"), 0u) << name;
    // QX_KEEP_PLOTS=dir keeps the files and their pictures for a look.
    if (const char* keep = std::getenv("QX_KEEP_PLOTS")) {
      const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
      for (const std::string& f : {name, name + ".png"}) {
        std::filesystem::copy_file(f, std::filesystem::path(keep) / (test + "_" + f),
                                   std::filesystem::copy_options::overwrite_existing);
      }
    }
  }
  return n;
}

}  // namespace qxtest
