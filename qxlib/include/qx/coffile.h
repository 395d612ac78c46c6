// The coefficient file (".cof"): the name rule and the field lengths that the design program
// (which writes the file) and the ray-trace program (which reads and rewrites it) must agree on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qx {

inline constexpr std::size_t kCofNameLength = 30;     // longest coefficient file name
inline constexpr std::size_t kCofAnswerLength = 13;   // a name typed at the prompt (A13)
inline constexpr std::size_t kCofTitleLength = 50;    // the title record (A50)
inline constexpr std::size_t kCofShapeRecord = 80;    // the aperture-shape record (A80)
inline constexpr int kCofUnit = 3;                    // the file's unit number in messages
inline constexpr std::string_view kCofExtension = ".cof";

// A name whose file-name part holds no "." gets ".cof" at its first blank; a "." in a
// directory name does not count. A name with a "." is used as it stands. Trailing blanks
// are dropped.
std::string cof_file_name(std::string_view name);

}  // namespace qx
