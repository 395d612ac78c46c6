// Arbitrary bytes as a ray dump for DUMP (LQDUMP): caption, three skipped lines, then records
// of seven numbers. Either the whole dump becomes the current set, every ray finite and as
// many as the records, or (a bad record) nothing is written and no set is open. No crash,
// no hang.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/dump.h"
#include "app/commands.h"
#include "session/state.h"
#include "io/lqio.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string base = "/tmp/dump_fuzz." + std::to_string(::getpid());
  const std::string text = base + ".txt", rays = base + ".bin";
  std::remove(rays.c_str());
  std::FILE* f = std::fopen(text.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  qx::StringOutput out;
  lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(""));
  lumiray::dump_command(s, text);
  // At the start of a record: the dump's caption, echoed, may hold the same words.
  const bool bad = out.text().find("\n ?LQDUMP - Bad data at ray") != std::string::npos;
  if (bad) {
    check(!std::filesystem::exists(rays));
    check(!s.rays.reader);
  } else {
    check(s.rays.reader != nullptr);
    check(static_cast<std::size_t>(s.ntot) <= size / 4);   // a record is at least "7*0" and its line end
    lumiray::Ray r;
    const long n = s.ntot;
    for (long i = 1; i <= n; ++i) {
      check(lumiray::lqio_read(s.lqio(), i, r));
      check(std::isfinite(r.x) && std::isfinite(r.th) && std::isfinite(r.y) && std::isfinite(r.ph) &&
            std::isfinite(r.d));
    }
  }
  lumiray::exit_program(s);
  std::remove(text.c_str());
  std::remove(rays.c_str());
  return 0;
}
