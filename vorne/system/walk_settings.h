// The settings a walk and its element routines run with: the order, the diagnostic level,
// whether traces and notes are wanted, and where messages go. The program builds them from its
// state for each walk (session/walks.h); a test or a benchmark writes them by hand.
#pragma once

#include "system/diagnostic_levels.h"

namespace qx {
class Output;
}

namespace vorne {

struct WalkSettings {
  int order = 1;                   // order code of the walk (optics/walk.h)
  int level = kTerminalLevel;      // diagnostic level (system/diagnostic_levels.h)
  bool trace = true;               // a positive level traces each element on report()
  bool warnings = false;           // the notes of MAG and FOCAL (on after a fit)
  qx::Output* terminal = nullptr;  // the user's terminal; every walk has one
  qx::Output* listing = nullptr;   // the final run's listing while it is open

  // Where reports and traces go: the listing while it is open, else the terminal.
  qx::Output& report() const { return listing != nullptr ? *listing : *terminal; }
  qx::Output& term() const { return *terminal; }
  // Where the messages that follow the level go: report() at a positive level, the terminal
  // at a negative one, nowhere (nullptr) at 0.
  qx::Output* level_stream() const {
    if (level > kQuietLevel) return &report();
    if (level < kQuietLevel) return terminal;
    return nullptr;
  }
  // Where messages that are never silent go: report() at a positive level, else the terminal.
  qx::Output& error_stream() const { return level > kQuietLevel ? report() : *terminal; }
};

}  // namespace vorne
