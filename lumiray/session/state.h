// The one state object of lumiray: created in main, handed by reference to every command.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "generate/fake.h"
#include "io/coef.h"
#include "io/dialog.h"
#include "io/lqio.h"
#include "io/rayfile.h"
#include "qx/command.h"
#include "qx/session.h"
#include "qx/units.h"

namespace lumiray {

inline constexpr int kMacroDepth = 9;        // nested macro files
inline constexpr int kRegisters = 10;        // A0..A9 and I0..I9
inline constexpr std::size_t kDataFileLength = 100;

// The user registers A0..A9 (reals) and I0..I9 (integers).
struct Registers {
  std::array<double, kRegisters> a{};
  std::array<int, kRegisters> i{};
};

// FAKE's settings that outlive one command, and its random-number generator.
struct FakeSettings {
  int colours = 4;                 // number of colours (asked when colour is enabled)
  double focus_x = 1.0e10;         // focal positions F and G from the end of the system (m)
  double focus_y = 1.0e10;
  bool focus_known = false;        // FAKE has computed them
  std::string seed_time;           // the time of day that seeded the generator
  bool seeded = false;
  std::uint64_t lcg = 0;           // state of the 48-bit generator
  std::array<int, kHistogramBins> histogram{};   // energy deviations of the current command
};

// The display settings MAP and PLOT share, and what MAP/R repeats.
struct Display {
  bool captions = true;      // caption and label line above the plot
  bool window = false;       // the map is centred on the data, not on the axis
  bool paraxial = true;      // rays 1 and 2 are plotted too
  bool scale = false;        // MAP's scale bar (MAP/E S)
  char device = 'S';         // plot device of the last map: MAP/R, /I and /J use it again
  bool mapped = false;       // a map was made: MAP/R can repeat it
  double z = 0.0;            // its plane (m from the end of the system)
  double half_width = 0.0;   // and half width (m)
};

// FIND's answers, offered as the defaults of the next FIND.
struct FindSettings {
  double grid_period = 12.7;      // micron
  double shadow_period = 0.0;     // mm, and its error
  double shadow_error = 0.0;
  double width = 0.0;             // total shadow pattern width, mm
  int order = 1;                  // of the polynomial fitted to the pattern, 1-8
  std::array<double, 8> coefficients{};   // its coefficients, mm/mm^i
};

struct Lumiray {
  Lumiray(qx::Output& terminal, std::unique_ptr<qx::Input> keyboard)
      : out(terminal), qx(terminal), input(std::move(keyboard), kMacroDepth) {}
  Lumiray(const Lumiray&) = delete;
  Lumiray& operator=(const Lumiray&) = delete;

  qx::Output& out;                 // the terminal (unit 6)
  qx::Session qx;                  // the library's own state
  qx::InputStack input;            // keyboard and macro files

  Registers reg;
  int ntot = 0;                                     // rays in the current ray set
  std::string caption = std::string(kCaptionLength, ' ');   // caption of the current ray set
  std::string data_file;                            // ray file the analyses read
  std::string cof_file;                             // coefficient file read last
  CoefficientSet coef;
  RayFiles rays;
  FakeSettings fake;
  FindSettings find;

  bool colour = false;       // colour enabled (COLOUR)
  bool dot_mode = false;     // dot mode enabled (DOTMOD)
  double dot_size = 0.0;
  Display display;           // MAP and PLOT
  int ndel = 1000;           // delay settings from lqsort.del (FLASH)
  int nper = 1000;
  std::string help_file = LUMIRAY_HELP_PATH;
  bool running = true;       // false once EXIT (or the end of the keyboard input) ends the program

  qx::CommandLine previous;  // the last line that was not PREV
  bool has_previous = false;

  bool echo() { return input.in_macro(); }
  Dialogue dialogue() { return Dialogue{input.current(), out, input.in_macro()}; }
  RayUnits lqio() { return RayUnits{rays, ntot, caption, data_file, cof_file, dialogue()}; }
};

}  // namespace lumiray
