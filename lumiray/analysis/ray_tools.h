// Small pieces the shadow, dump, brightness and transfer commands share: the output-name
// rule, the guard for a set too small, the name-or-prompt rule and the progress stars.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/ray_source.h"
#include "session/state.h"

namespace lumiray {

// An output name: a name without "." is cut at its first blank, its base to at most 26
// characters, and gets the extension; a name with "." is used as given.
std::string output_name(std::string_view name, std::string_view extension);

// The current data set when it holds at least `least` rays; otherwise a message with the
// routine's prefix and false.
bool has_rays(Lumiray& s, DataSet& rays, std::string_view who, long least);

// The file name typed with the command, else the answer to the prompt (A30). Empty when
// the answer is blank or the input ends: the command then ends.
std::optional<std::string> name_or_ask(Lumiray& s, const std::string& typed, const qx::Format& prompt);

// Progress stars: one every `every` rays, `per_line` to a line, each line indented.
class Stars {
 public:
  Stars(qx::Output& out, long every, int per_line, int indent) : out_(out), every_(every), per_line_(per_line),
                                                                 indent_(indent) {}
  void tick(long count);   // call with the number of rays done so far
  void finish();           // ends an open line of stars

 private:
  qx::Output& out_;
  long every_;
  int per_line_;
  int indent_;
  int on_line_ = 0;
};

}  // namespace lumiray
