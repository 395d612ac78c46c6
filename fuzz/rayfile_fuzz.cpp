// Arbitrary bytes as a ray file, opened with LQIO R (as DATA does) and read ray by ray past
// the count it found. The count never exceeds the whole records the bytes can hold; a read
// beyond them ends with "End at" and NTOT at the last good ray.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/commands.h"
#include "io/lqio.h"
#include "app/state.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = "/tmp/rayfile_fuzz." + std::to_string(::getpid()) + ".bin";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  qx::StringOutput out;
  lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(""));
  const int status = lumiray::lqio_open(s, 'R', path);
  if (status == 0) {
    check(s.ntot >= 0);
    check(static_cast<std::size_t>(s.ntot) * lumiray::kRayRecordBytes <= size);
    const long count = s.ntot;
    lumiray::Ray r;
    for (long i = 1; i <= count; ++i) check(lumiray::lqio_read(s, i, r));
    check(!lumiray::lqio_read(s, count + 1, r));
    check(s.ntot == count);
    check(lumiray::lqio_read(s, 1, r) == (count >= 1));   // backwards after the end
  } else {
    check(s.ntot == 0);
  }
  lumiray::exit_program(s);
  std::remove(path.c_str());
  return 0;
}
