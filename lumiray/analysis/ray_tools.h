// Small pieces the ray-set analyses of this folder share: image planes from the paraxial
// rays, output-name rules, the progress stars and the refusal to write over the files in use.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/ray_source.h"
#include "app/state.h"

namespace lumiray {

// Image distances zx, zy (m from the end of the system) from the paraxial rays 1 and 2.
// degenerate: the rays are parallel in a plane (the distances are then 0).
struct ImagePlanes {
  double zx = 0.0;
  double zy = 0.0;
  bool degenerate = false;
};
// Degenerate when |dth * dph| < product_limit, or |dth| or |dph| < each_limit.
ImagePlanes image_planes(const Ray& r1, const Ray& r2, double product_limit, double each_limit);

// Reads the paraxial rays 1 and 2 and reports "Bad paraxial rays." when they are
// degenerate. False (nothing printed) when the set has fewer than two rays.
bool paraxial_planes(RaySource& rays, qx::Output& out, double product_limit, double each_limit, ImagePlanes& planes);

// The current data set when it holds at least `least` rays; otherwise a message with the
// routine's prefix and false.
bool has_rays(Lumiray& s, DataSet& rays, std::string_view who, long least);

// An output name: a name without "." is cut at its first blank, to at most 26 characters,
// and gets the extension; a name with "." is used as given.
std::string output_name(std::string_view name, std::string_view extension);

// The name up to its first "." in its file-name part (the whole name when there is none).
std::string name_before_dot(std::string_view name);

// True when the two names are one file (an existing file reached by another name, too).
bool same_file(const std::string& a, const std::string& b);

// Refuses (with a message naming it, prefixed by the routine's name) a name that is the
// current data set or the coefficient file read last. True when the name may be written.
bool may_write(Lumiray& s, std::string_view routine, const std::string& name);

// A file name at a prompt drawn by `prompt` (A30 and the like): as ask_file_name, for prompts
// that show a value. "" for a blank answer, empty at the end of the input.
std::optional<std::string> ask_name(Dialogue d, const std::function<void()>& prompt, std::size_t width);

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
