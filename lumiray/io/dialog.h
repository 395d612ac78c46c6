// Questions and answers at the prompts of lumiray's commands.
//
// Every answer is one record of the current input. Inside a macro the answer is echoed, so
// a macro's transcript reads like typed input. The end of the input is never a bad answer:
// it cancels the question (the functions return an empty optional or false), the command
// ends, and the command loop then closes the macro or ends the program.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "qx/format.h"
#include "qx/units.h"

namespace lumiray {

struct Dialogue {
  qx::Input& in;    // answers come from here (keyboard or macro)
  qx::Output& out;  // prompts and messages go here (the terminal)
  bool echo;        // input comes from a macro: answers are echoed
};

// One answer record, as typed (the whole line). Echoed list-directed in a macro.
std::optional<std::string> read_answer(Dialogue d);

// Prompt, then one answer record.
std::optional<std::string> ask_text(Dialogue d, const qx::Format& prompt);

// The first non-blank character of the answer, upper case; a blank answer gives ' '.
std::optional<char> ask_letter(Dialogue d, const qx::Format& prompt);

// True for an answer Y or y.
std::optional<bool> ask_yes(Dialogue d, const qx::Format& prompt);

// A file name at a prompt read with (Aw): left-justified and trimmed; a blank answer gives
// "". A longer name than the field holds is refused with a message and asked again, since
// cutting it would name another file.
std::optional<std::string> ask_file_name(Dialogue d, const qx::Format& prompt, std::size_t width);

// One or two numbers through QXREAD: the values are the defaults an empty answer keeps.
// A bad answer is reported and asked again. False at the end of the input.
bool ask_numbers(Dialogue d, const std::function<void()>& prompt, double& first, double& second);
bool ask_number(Dialogue d, const std::function<void()>& prompt, double& value);

// One number read with the layout (F12.0): an all-blank answer reads as 0. A bad answer is
// reported and asked again. Empty at the end of the input.
std::optional<double> ask_fixed(Dialogue d, const std::function<void()>& prompt);

// A name with its default extension (".cof", ".bin", ".lcm") appended when its file-name
// part holds no "." (a "." in a directory name does not count), trailing blanks removed.
std::string with_default_extension(std::string_view name, std::string_view extension);

// Texts cut or blank padded to their field length.
std::string field(std::string_view text, std::size_t n);

}  // namespace lumiray
