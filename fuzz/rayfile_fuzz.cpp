// Arbitrary bytes as a ray file, opened with LQIO R (as DATA does) and read ray by ray past
// the count it found. The count never exceeds the whole records the bytes can hold; a read
// beyond them ends with "End at" and NTOT at the last good ray. Then SORT/F, PROFIL/E, MAXIMA
// and MAP (no device) run on the set: whatever the numbers, no crash and nothing that is not a
// number in the files they write.
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "analysis/plotdata.h"
#include "app/commands.h"
#include "io/lqio.h"
#include "session/state.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// True when text holds no "NaN" or "Inf" in any case.
bool all_numbers(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find("nan") == std::string::npos && text.find("inf") == std::string::npos;
}

std::string contents(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

void analyse(const std::string& path) {
  // The answers, in the order the commands ask: SORT/F (grid, plane, range, truncation),
  // PROFIL/E (channels), MAP (plane, half width).
  qx::StringOutput out;
  lumiray::Lumiray s(out, std::make_unique<qx::StringInput>("\n\n\n\n\nX\n\n"));
  if (lumiray::lqio_open(s.lqio(), 'R', path) != 0) return;
  const std::string base = lumiray::base_name(path);
  const std::string written[] = {base + ".agp", base + ".FIT", base + "e.fit"};
  for (const std::string& name : written) std::remove(name.c_str());
  for (const char* line : {"SORT/F", "PROFIL/E", "MAXIMA/1 5", "MAP/U"}) lumiray::run_line(s, line);
  lumiray::exit_program(s);
  for (const std::string& name : written) {
    check(all_numbers(contents(name)));
    std::remove(name.c_str());
  }
  std::remove("lumiray.run");
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
  const int status = lumiray::lqio_open(s.lqio(), 'R', path);
  if (status == 0) {
    check(s.ntot >= 0);
    check(static_cast<std::size_t>(s.ntot) * lumiray::kRayRecordBytes <= size);
    const long count = s.ntot;
    lumiray::Ray r;
    for (long i = 1; i <= count; ++i) check(lumiray::lqio_read(s.lqio(), i, r));
    check(!lumiray::lqio_read(s.lqio(), count + 1, r));
    check(s.ntot == count);
    check(lumiray::lqio_read(s.lqio(), 1, r) == (count >= 1));   // backwards after the end
  } else {
    check(s.ntot == 0);
  }
  lumiray::exit_program(s);
  analyse(path);
  std::remove(path.c_str());
  return 0;
}
