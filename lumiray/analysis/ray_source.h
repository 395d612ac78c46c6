// Where the analyses get their rays: the counterpart of RaySink. Rays come one at a time by
// index (1-based; rays 1 and 2 are the paraxial rays FAKE writes first), so an analysis holds
// one ray at a time whatever the size of the set, and a pass in index order reads the file
// front to back without seeking.
#pragma once

#include "session/state.h"
#include "generate/raymap.h"

namespace lumiray {

class RaySource {
 public:
  virtual ~RaySource() = default;
  // Rays in the set (NTOT).
  virtual long count() const = 0;
  // Ray number index into r. False when it cannot be read; the source has then said why and
  // count() no longer reaches past the rays that could be read.
  virtual bool get(long index, Ray& r) = 0;
};

// The current data set, read through LQIO unit R. A file found short or damaged under the
// analysis prints "End at n rays." and the set ends there (NTOT shrinks to what was read).
class DataSet : public RaySource {
 public:
  explicit DataSet(Lumiray& s) : s_(s) {}
  // True when a data set with rays is open; otherwise prints that there is none, or that it
  // holds no rays (with the command's prefix, such as "?LQSORT"), and returns false.
  bool ready(std::string_view who) const;
  long count() const override;
  bool get(long index, Ray& r) override;

 private:
  Lumiray& s_;
};

// Calls f(index, ray) for rays first..count() in order. False when a ray could not be read
// (the source has said why) or f returned false.
template <typename F>
bool each_ray(RaySource& source, long first, F&& f) {
  Ray r;
  for (long i = first; i <= source.count(); ++i) {
    if (!source.get(i, r)) return false;
    if (!f(i, r)) return false;
  }
  return true;
}

}  // namespace lumiray
