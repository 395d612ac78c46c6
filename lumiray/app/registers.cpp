#include "app/registers.h"

#include <optional>

#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

const qx::Format kNotARegister{"(1H ,'?LUMIRAY - Registers are numbered 0 to 9, not ',A,'; nothing stored.')"};
const qx::Format kTooLarge{"(1H ,'?LUMIRAY - ',1P,G13.5,' does not fit an integer register.')"};

// The register a letter names: '0'..'9'. Other letters are reported.
std::optional<int> register_of(Lumiray& s, char letter) {
  if (letter >= '0' && letter <= '9') return letter - '0';
  s.out.write(kNotARegister, std::string(1, letter));
  return std::nullopt;
}

// The register of the option letter; without one it is asked for. Empty when there is
// none (a blank answer, the end of input, or a letter that names no register).
std::optional<int> chosen_register(Lumiray& s, char option) {
  static const qx::Format kPrompt{"(1H ,'Register number > ',$)"};
  if (option != ' ') return register_of(s, option);
  const std::optional<std::string> answer = ask_text(s.dialogue(), kPrompt);
  if (!answer || answer->empty() || (*answer)[0] == ' ') return std::nullopt;
  return register_of(s, (*answer)[0]);
}

// The nearest integer to a number for an integer register; reported when it does not fit.
std::optional<int> register_integer(Lumiray& s, double v) {
  const std::optional<std::int64_t> k = qx::nearest_int(v);
  if (!k) {
    s.out.write(kTooLarge, v);
    return std::nullopt;
  }
  return static_cast<int>(*k);
}

// ALOAD/I and ILOAD/I: all registers from the file.
void load_all(Lumiray& s) {
  static const qx::Format kLoaded{"(1H ,' Registers loaded from disk.')"};
  static const qx::Format kMissing{"(1H ,A,' does not exist.')"};
  if (!qx::file_exists(kRegisterFile)) {
    s.out.write(kMissing, kRegisterFile);
    return;
  }
  if (load_registers(s)) s.out.write(kLoaded);
}

}  // namespace

bool load_registers(Lumiray& s) {
  static const qx::Format kLoading{"(1H ,10X,'<<< Loading registers from LQSORT.REG >>>')"};
  static const qx::Format kError{"(1H ,'%LQREGLOAD - Error reading LQSORT.REG')"};
  const std::unique_ptr<qx::FileInput> f = qx::FileInput::open(kRegisterFile, 4);
  if (!f) return false;
  s.out.write(kLoading);
  Registers r;
  if (qx::read_reals(*f, r.a) != qx::ReadStatus::ok || qx::read_ints(*f, r.i) != qx::ReadStatus::ok) {
    s.out.write(kError);
    return false;
  }
  s.reg = r;
  return true;
}

void reg_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kEmpty{"(1H ,/)"};
  static const qx::Format kLine{"(1H ,'A',I1,' =',1P,G13.5,5X,'I',I1,' =',I10)"};
  if (line.option == 'L') {
    s.out.write(kEmpty);
    for (int k = 0; k < kRegisters; ++k)
      s.out.write(kLine, k, s.reg.a[static_cast<std::size_t>(k)], k, s.reg.i[static_cast<std::size_t>(k)]);
    return;
  }
  const std::optional<int> k = chosen_register(s, line.option);
  if (k) s.reg.a[static_cast<std::size_t>(*k)] += line.number;
}

void aload_command(Lumiray& s, const qx::CommandLine& line) {
  if (line.option == 'I') return load_all(s);
  if (const std::optional<int> k = chosen_register(s, line.option)) s.reg.a[static_cast<std::size_t>(*k)] = line.number;
}

void iload_command(Lumiray& s, const qx::CommandLine& line) {
  if (line.option == 'I') return load_all(s);
  const std::optional<int> k = chosen_register(s, line.option);
  if (!k) return;
  if (const std::optional<int> v = register_integer(s, line.number)) s.reg.i[static_cast<std::size_t>(*k)] = *v;
}

void incr_command(Lumiray& s, const qx::CommandLine& line) {
  const std::optional<int> k = line.option == ' ' ? std::optional<int>(0) : register_of(s, line.option);
  if (!k) return;
  const std::optional<int> step = register_integer(s, line.number);
  if (!step) return;
  int& reg = s.reg.i[static_cast<std::size_t>(*k)];
  const long long sum = static_cast<long long>(reg) + *step;
  if (sum < INT32_MIN || sum > INT32_MAX) {
    s.out.write(kTooLarge, static_cast<double>(sum));
    return;
  }
  reg = static_cast<int>(sum);
}

void regsav_command(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kSaved{"(1H ,'Registers saved.')"};
  static const qx::Format kCannot{"(1H ,'Unable to open lqsort.reg')"};
  // The file is created new: registers saved earlier are never overwritten.
  auto f = qx::FileOutput::open(kRegisterFile, qx::FileOutput::Mode::create_new, 4);
  if (!f) {
    s.out.write(kCannot);
    return;
  }
  std::vector<qx::FormatArg> reals(s.reg.a.begin(), s.reg.a.end());
  std::vector<qx::FormatArg> ints(s.reg.i.begin(), s.reg.i.end());
  f->put(qx::render_list(reals));
  f->put(qx::render_list(ints));
  if (!f->commit()) {
    s.out.write(kCannot);
    return;
  }
  s.out.write(kSaved);
}

void regld_command(Lumiray& s, const qx::CommandLine&) { load_registers(s); }

void stop_command(Lumiray& s, const qx::CommandLine& line) {
  if (!s.input.in_macro()) return;
  const std::optional<int> k = line.option == ' ' ? std::optional<int>(0) : register_of(s, line.option);
  if (k && line.number < s.reg.i[static_cast<std::size_t>(*k)]) s.input.pop();
}

}  // namespace lumiray
