// The library's own state: one instance per program, held in the program's state object.
#pragma once

#include <cstdio>
#include <string>

#include "qx/command.h"
#include "qx/plot.h"
#include "qx/units.h"

namespace qx {

// The graphics output destination (unit 49): a file or device the byte stream goes to.
struct GraphicsDestination {
  std::string name = "/dev/tty";   // 50 characters in the records that show it
  std::FILE* file = nullptr;       // open unit 49, or nullptr
  ~GraphicsDestination();
  bool is_open() const { return file != nullptr; }
  void close();
};

struct Session {
  explicit Session(Output& terminal) : out(terminal) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Output& out;                 // library output unit (6)
  bool parser_trace = false;   // flipped by lines beginning with "#"
  GraphicsDestination dest;    // unit 49
  Graphics gfx;                // terminal, plot files, plot in progress
};

// QXDEST: makes the named file or device the graphics output destination. A blank name
// becomes "/dev/tty" and nothing else happens; "*" means "/dev/tty".
void qxdest(Session& s, std::string& name);

// The DEST command's dialogue: destination from columns 8-40 or asked at the prompt.
void dest_command(Session& s, Input& in, Output& out, bool echo, const CommandLine& line);

}  // namespace qx
