// LQIO: the one way lumiray opens, writes, reads and closes ray files. There is one unit
// for reading (R, the current data set), one for writing (W) and one for appending (A).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "io/dialog.h"
#include "io/rayfile.h"

namespace lumiray {

inline constexpr int kMaxRays = 200000;      // rays in one ray set, paraxial rays included

// The ray files of LQIO: one reading unit (the current data set) and two writing units.
struct RayFiles {
  std::unique_ptr<RayReader> reader;   // R: the current data set
  std::unique_ptr<RayWriter> writer;   // W
  std::unique_ptr<RayWriter> appender; // A
  long last_index = 0;                 // index of the last ray read through R (0: none)
  Ray last_ray;                        // and that ray
};

// What LQIO works on: the units, the ray set the reading unit makes current (its number of
// rays, caption and file name), the coefficient file no unit may replace, and the terminal.
struct RayUnits {
  RayFiles& files;
  int& ntot;
  std::string& caption;
  std::string& data_file;
  const std::string& cof_file;
  Dialogue dialogue;
};

// Opens the unit of the mode letter (R, W, A; E closes all three). A blank name is asked
// for; a name without "." gets ".bin". R reads the caption, counts the rays and sets NTOT,
// the caption and the current data file; W and A write the caption. The new file is opened
// before the old unit is closed, so a failure keeps what was open. No writing unit is ever
// opened on the current data set or on the coefficient file read last.
// Returns 0 on success, 1 on failure.
int lqio_open(const RayUnits& u, char mode, std::string name);

// Reads ray number index of the current data set. At the end of the file or a damaged
// record NTOT becomes index - 1 and "End at" is printed.
bool lqio_read(const RayUnits& u, long index, Ray& r);

// Appends a ray through the W or A unit.
bool lqio_write(const RayUnits& u, char mode, const Ray& r);

// Closes the unit of the mode letter (R, W or A); a written file takes its name now.
void lqio_close(const RayUnits& u, char mode);

// True, with a message naming it, when name (a ray-file name) is the current data set,
// which no writing unit may replace. Commands that know their output before any question
// ask this first, so that nobody answers a whole dialogue for nothing.
bool lqio_refuse_current_set(const RayUnits& u, const std::string& name);

// Why no file may be written under name: "the current data set" or "the coefficient file
// just read" (both would be lost); empty when it may be written.
std::string_view kept_file(const RayUnits& u, const std::string& name);

// The ray-file name rule: ".bin" appended to a name without ".".
std::string ray_file_name(std::string_view name);

}  // namespace lumiray
