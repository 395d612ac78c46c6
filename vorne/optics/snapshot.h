// A scoped snapshot of the element table and the last walk's results: commands that perturb
// the system to compute something (chromatic run, EXCITE, PARASI, ROTN, DISP) take one, and
// the table and the results are back as they were, bit for bit, on every way out of the scope.
#pragma once

#include "optics/walk.h"
#include "system/system.h"

namespace vorne {

class SystemSnapshot {
 public:
  SystemSnapshot(LensSystem& sys, WalkResult& walk) : sys_(sys), walk_(walk), saved_sys_(sys), saved_walk_(walk) {}
  ~SystemSnapshot() {
    sys_ = saved_sys_;
    walk_ = saved_walk_;
  }
  SystemSnapshot(const SystemSnapshot&) = delete;
  SystemSnapshot& operator=(const SystemSnapshot&) = delete;

  // The table as it will be put back; a command that keeps some of its changes (DISP keeps
  // its offsets as it rounded them) changes it here.
  LensSystem& saved_system() { return saved_sys_; }
  const LensSystem& saved_system() const { return saved_sys_; }

 private:
  LensSystem& sys_;
  WalkResult& walk_;
  LensSystem saved_sys_;
  WalkResult saved_walk_;
};

}  // namespace vorne
