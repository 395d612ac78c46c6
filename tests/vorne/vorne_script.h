// Running the design program on a script in a scratch directory, for the session tests: the
// transcript from the first prompt on, a system file to load, and a saved file read back.
#pragma once

#include <filesystem>
#include <string>

#include "optics_rig.h"
#include "session.h"

namespace vorne_script {

inline const std::string kPrompt = " vrn> ";

// The transcript from the first prompt on (the banner is not what these tests look at).
inline std::string run(const std::string& script, const qxtest::TempDir& dir) {
  const std::string out = qxtest::run_program(qxtest::vorne_exe(), script, dir.path()).out;
  const std::size_t start = out.find(kPrompt);
  return start == std::string::npos ? out : out.substr(start);
}

// Writes the system text as sys.vrn and returns the line that loads it.
inline std::string load_text(const qxtest::TempDir& dir, const std::string& text) {
  qxtest::write_file(dir / "sys.vrn", text);
  return "DATA sys\n";
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

}  // namespace vorne_script
