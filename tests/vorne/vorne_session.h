// The one script runner of the design program's session tests: the real program run on a
// script in a scratch directory, its output kept whole and cut at the prompts, and the
// helpers that go with a session (a system file to load, a saved file read back).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "optics_rig.h"
#include "session.h"

namespace vorne_session {

inline const std::string kBanner = " \n          Program VORNE - Version 8.2\n\n\n";
inline const std::string kHint = " \n            Type DATA to load a filename to start....\n\n\n";
inline const std::string kStart = kBanner + kHint;   // what every run begins with
inline const std::string kPrompt = " vrn> ";

// One run of the program.
struct Session {
  int status = -1;                   // exit status
  std::string out;                   // everything it printed
  std::vector<std::string> replies;  // out cut at the prompts ("vrn> ", "sti> ", "apr> "):
                                     // [0] before the first, [k] what script line k made it print

  const std::string& reply(std::size_t k) const {
    static const std::string kNone = "<no reply>";
    return k < replies.size() ? replies[k] : kNone;
  }
  // The transcript from the first prompt on (the banner is not what most tests look at).
  std::string from_first_prompt() const {
    const std::size_t start = out.find(kPrompt);
    return start == std::string::npos ? out : out.substr(start);
  }
  // The transcript after the start-up text, which every run must begin with.
  std::string after_start() const {
    EXPECT_EQ(out.substr(0, kStart.size()), kStart);
    return out.size() >= kStart.size() ? out.substr(kStart.size()) : out;
  }
};

// Runs the program in dir on script (lines), with the given files written there first.
inline Session run(const qxtest::TempDir& dir, const std::string& script,
                   const std::map<std::string, std::string>& files = {}) {
  for (const auto& [name, text] : files) qxtest::write_file(dir / name, text);
  const qxtest::RunResult r = qxtest::run_program(qxtest::vorne_exe(), script, dir.path());
  Session s;
  s.status = r.status;
  s.out = r.out;
  std::size_t from = 0;
  for (;;) {
    std::size_t next = std::string::npos;
    for (const char* p : {" vrn> ", " sti> ", " apr> "}) next = std::min(next, s.out.find(p, from));
    s.replies.push_back(s.out.substr(from, next == std::string::npos ? std::string::npos : next - from));
    if (next == std::string::npos) return s;
    from = next + kPrompt.size();
  }
}

// Writes the system text as sys.vrn and returns the line that loads it.
inline std::string load_text(const qxtest::TempDir& dir, const std::string& text) {
  qxtest::write_file(dir / "sys.vrn", text);
  return "DATA sys\n";
}

// Copies a shipped test system into dir.
inline void copy_system(const qxtest::TempDir& dir, const std::string& name) {
  std::filesystem::copy_file(qxtest::test_data(name), dir / name);
}

// The table of a system file the program wrote.
inline vorne::LensSystem saved(const qxtest::TempDir& dir, const std::string& name) {
  optics_test::Rig r;
  r.load_path(dir / name);
  return r.s;
}

// How often part stands in text (overlapping occurrences counted).
inline std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace vorne_session
