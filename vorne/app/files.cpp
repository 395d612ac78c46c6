#include "app/files.h"

#include <memory>
#include <string>

#include "session/walks.h"
#include "qx/format.h"
#include "qx/text.h"
#include "reports/listing.h"
#include "session/dialogue.h"
#include "system/datafile.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr int kDataUnit = 1;

bool has_extension(const std::string& name) { return name.find('.') != std::string::npos; }

}  // namespace

// ---- DATA --------------------------------------------------------------------------------------

void cmd_data(Vorne& v, const qx::CommandLine& line) {
  std::string name = argument_name(line);
  if (name.empty()) {
    static const qx::Format kAsk{"(1H ,'Filename for input > ',$)"};
    v.term.write(kAsk);
    if (read_text_answer(v, kFileNameLength, name) != qx::Answer::accepted) return;
    if (name.empty()) {
      if (v.sys.p(2, 1) == 0.0) v.finished = true;   // nothing loaded and nothing to load
      return;
    }
  }
  const std::string file = has_extension(name) ? name : name + std::string(kDataExtension);
  if (!qx::file_exists(file)) {
    static const qx::Format kMissing{"(1H ,A,' does not exist.',/)"};
    v.term.write(kMissing, file);
    return;
  }
  std::unique_ptr<qx::FileInput> in = qx::FileInput::open(file, kDataUnit);
  if (!in) {
    say_unable_to_open(v, file);
    return;
  }

  const int level_before = v.idiag;
  LensSystem loaded;
  const LoadResult result = read_system(*in, loaded);
  in.reset();
  static const qx::Format kTitle{"(1H ,'Title: ',A)"};
  v.term.write(kTitle, loaded.title);

  switch (result) {
    case LoadResult::end_of_data:
      v.finished = true;
      return;
    case LoadResult::read_error:
    case LoadResult::wrong_first_elements:
      static const qx::Format kSevere{"(1H ,'?MAIN- Severe error in data file')"};
      static const qx::Format kWrongFirst{"(1H ,'?MAIN- First elements must be particle (0.0) and beam (1.0)')"};
      v.term.write(result == LoadResult::read_error ? kSevere : kWrongFirst);
      // A system already in memory is kept (nothing unsaved is lost); without one there is
      // nothing to go on with.
      if (!v.sys.loaded()) v.finished = true;
      return;
    case LoadResult::loaded:
      break;
  }

  v.sys = loaded;
  v.sys.data_file = name;
  v.sys.clear_offsets();
  v.walk = WalkResult{};
  v.refresh_diagnostic();   // the level stored in the file is the working level from now on
  system_walk(v, 1);
  collect_groups(v.sys, v.term);

  if (level_before > kQuietLevel) {
    v.set_diagnostic(level_before);
    final_run(v);
    v.finished = true;
    return;
  }
  static const qx::Format kLevel{"(1H ,'%VORNE- Diagnostics set to ',I2)"};
  if (v.idiag >= kQuietLevel) v.term.write(kLevel, v.idiag);
  static const qx::Format kZeroLength{"(1H ,'%VORNE- Zero length system.')"};
  if (v.sys.total_length == 0.0) v.term.write(kZeroLength);
}

// ---- SAVE --------------------------------------------------------------------------------------

void cmd_save(Vorne& v, const qx::CommandLine& line) {
  LensSystem& s = v.sys;
  if (!s.loaded()) {
    static const qx::Format kNoSystem{"(1H ,'?SAVE- No system loaded, nothing saved.')"};
    v.term.write(kNoSystem);
    return;
  }
  if (code_class(s.p(s.izend, 1)) != kSystemEnd) {
    static const qx::Format kNoEnd{"(1H ,'?SAVE- Row ',I2,' is not the System End, nothing saved.')"};
    v.term.write(kNoEnd, s.izend);
    return;
  }

  std::string name = argument_name(line);
  if (name.empty()) {
    static const qx::Format kAsk{"(1H ,'Filename for output (CR for ',A,') > ',$)"};
    v.term.write(kAsk, s.data_file);
    if (read_text_answer(v, kFileNameLength, name) != qx::Answer::accepted) return;
    if (name.empty()) name = s.data_file;
  }
  if (qx::qxlen(name) == 0) {
    static const qx::Format kNoName{"(1H ,'?SAVE- No file name, nothing saved.')"};
    v.term.write(kNoName);
    return;
  }
  const bool bare = !has_extension(name);
  const std::string file = bare ? name + std::string(kDataExtension) : name;

  // Written beside the old file and renamed over it, so an interrupted SAVE leaves the old
  // file whole.
  std::unique_ptr<qx::FileOutput> out = qx::FileOutput::open(file, qx::FileOutput::Mode::atomic, kDataUnit);
  if (!out) {
    say_unable_to_open(v, file);
    return;
  }
  s.p(1, 4) = s.p(1, 12);   // the energy as loaded replaces any working value
  write_system(*out, s);
  if (!out->commit()) {
    static const qx::Format kWriteError{"(1H ,'?SAVE- Error writing ',A,', the file is unchanged.')"};
    v.term.write(kWriteError, file);
    return;
  }
  if (bare) s.data_file = name;
  static const qx::Format kSaved{"(1H ,'Data saved in file: ',A)"};
  v.term.write(kSaved, file);
}

}  // namespace vorne
