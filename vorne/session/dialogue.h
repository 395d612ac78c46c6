// Answers to the program's own questions, read from the current command input (keyboard or
// macro). Inside a macro every answer is echoed, so a macro's transcript reads like typed input.
// Numbers with defaults are read with qx::qxread; these cover text and single integers.
#pragma once

#include <cstddef>
#include <string>

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// One text answer of at most `width` characters (trailing blanks removed). accepted with the
// answer (possibly empty); end at end of input or on an input error (cancel); rejected when the
// answer is longer than `width`, after saying so (cancel too: nothing is ever cut silently).
// Echoed list-directed inside a macro.
qx::Answer read_text_answer(Vorne& v, std::size_t width, std::string& answer);

// One integer read with the layout (Iw): the first w characters of the answer, blank reads 0.
// rejected on a field that is no integer (cancel); end at end of input. Echoed list-directed
// inside a macro.
qx::Answer read_int_answer(Vorne& v, std::size_t width, int& value);

// "Filename for output > " and the name typed (at most `width` characters), as
// read_text_answer reads it.
qx::Answer ask_output_name(Vorne& v, std::size_t width, std::string& name);

// "Unable to open <name>" on the terminal: a file that could not be opened or created.
void say_unable_to_open(Vorne& v, const std::string& name);

// A file name from the command's argument as typed. An argument cut at column 40 is not
// trusted: the result is then empty, so the caller asks for the name at its prompt.
std::string argument_name(const qx::CommandLine& line);

}  // namespace vorne
