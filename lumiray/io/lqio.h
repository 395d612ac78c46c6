// LQIO: the one way lumiray opens, writes, reads and closes ray files. There is one unit
// for reading (R, the current data set), one for writing (W) and one for appending (A).
#pragma once

#include <string>

#include "app/state.h"

namespace lumiray {

// Opens the unit of the mode letter (R, W, A; E closes all three). A blank name is asked
// for; a name without "." gets ".bin". R reads the caption, counts the rays and sets NTOT,
// the caption and the current data file; W and A write the caption. The new file is opened
// before the old unit is closed, so a failure keeps what was open. No writing unit is ever
// opened on the current data set or on the coefficient file read last.
// Returns 0 on success, 1 on failure.
int lqio_open(Lumiray& s, char mode, std::string name);

// Reads ray number index of the current data set. At the end of the file or a damaged
// record NTOT becomes index - 1 and "End at" is printed.
bool lqio_read(Lumiray& s, long index, Ray& r);

// Appends a ray through the W or A unit.
bool lqio_write(Lumiray& s, char mode, const Ray& r);

// Closes the unit of the mode letter (R, W or A); a written file takes its name now.
void lqio_close(Lumiray& s, char mode);

// True, with a message naming it, when name (a ray-file name) is the current data set,
// which no writing unit may replace. Commands that know their output before any question
// ask this first, so that nobody answers a whole dialogue for nothing.
bool lqio_refuse_current_set(Lumiray& s, const std::string& name);

// Why no file may be written under name: "the current data set" or "the coefficient file
// just read" (both would be lost); empty when it may be written.
std::string_view kept_file(const Lumiray& s, const std::string& name);

// The ray-file name rule: ".bin" appended to a name without ".".
std::string ray_file_name(std::string_view name);

}  // namespace lumiray
