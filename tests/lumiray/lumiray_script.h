// The one script runner of lumiray's session tests: the program driven through standard
// input in a scratch directory, with a stand-in `date` first on PATH so that FAKE's random
// numbers are reproducible, and the helpers that read its transcript.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "session.h"

namespace lumiray_script {

namespace fs = std::filesystem;

class Session : public ::testing::Test {
 protected:
  Session() {
    fs::create_directory(tools_ / "bin");
    set_time("12:34:56");
  }
  // What the stand-in date prints: characters 12-19 are the time of day.
  void set_time(const std::string& hhmmss) {
    qxtest::write_file(tools_ / "bin/date", "#!/bin/sh\necho 'Mon Jan  1 " + hhmmss + " UTC 2024'\n");
    fs::permissions(tools_ / "bin/date", fs::perms::owner_all);
  }
  qxtest::RunResult run(const std::string& script, const fs::path& where = {}) {
    return qxtest::run_program(qxtest::lumiray_exe(), script, where.empty() ? dir.path() : where, {},
                               (tools_ / "bin").string());
  }
  void copy_doublet(const std::string& name = "sys.cof") {
    fs::copy_file(qxtest::test_data("doublet.cof"), dir / name);
  }

  qxtest::TempDir dir;

 private:
  qxtest::TempDir tools_;
};

inline std::vector<std::string> lines_of(const std::string& text) { return qxtest::split_lines(text); }

inline bool has_line(const std::string& text, const std::string& line) {
  const auto lines = lines_of(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Every part must appear in the transcript.
template <std::size_t N>
void expect_parts(const std::string& text, const std::string (&parts)[N]) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

inline std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The answers FAKE asks for after the coefficients, in order.
struct FakeAnswers {
  std::string mode = "2";
  std::string count = "10000";
  std::string shape = "S";
  std::string object = "10 10";     // micron (degrees in divergence mode)
  std::string aperture = "0.4 0.4"; // mm
  std::string offsets = "0 0";
  std::string spread = "0";
  std::string indices = "0 0";
  std::string again = "Q";
  std::string text() const {
    return mode + "\n" + count + "\n" + shape + "\n" + object + "\n" + aperture + "\n" + offsets + "\n" + spread +
           "\n" + indices + "\n" + again + "\n";
  }
};

}  // namespace lumiray_script
