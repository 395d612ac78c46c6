// QXRUNUP: a general run counter kept in a file named by the caller ("lumiray.run").
#pragma once

#include <string>
#include <string_view>

namespace qx {

class Output;

struct RunNumber {
  int n = 0;                  // the new number; 0 when nothing was counted
  std::string text = "    ";  // its last four digits, leading zeros as blanks
};

// Reads the number in file (created holding 1 when missing), adds one, writes it back.
// A blank name counts nothing; a unit that is not positive is refused with a message.
RunNumber qxrunup(Output& out, int unit, std::string_view file);

}  // namespace qx
