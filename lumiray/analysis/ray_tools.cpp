#include "analysis/ray_tools.h"

#include "analysis/plotdata.h"
#include "qx/text.h"

namespace lumiray {

std::string output_name(std::string_view name, std::string_view extension) {
  std::string n(qx::trim_right(name));
  const std::size_t lead = n.find_first_not_of(' ');
  n = lead == std::string::npos ? std::string() : n.substr(lead);
  const std::size_t slash = n.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (n.find('.', base) != std::string::npos) return n;
  n = n.substr(0, n.find(' '));
  return n.substr(0, base) + secondary_name(std::string_view(n).substr(base), extension);
}

bool has_rays(Lumiray& s, DataSet& rays, std::string_view who, long least) {
  static const qx::Format kTooFew{"(1H ,A,' - The ray set holds ',I6,' rays; at least ',I1,' are needed.')"};
  if (!rays.ready(who)) return false;
  if (rays.count() >= least) return true;
  s.out.write(kTooFew, std::string(who), rays.count(), static_cast<int>(least));
  return false;
}

std::optional<std::string> name_or_ask(Lumiray& s, const std::string& typed, const qx::Format& prompt) {
  constexpr std::size_t kNameAnswer = 30;
  std::string name(qx::trim_right(typed));
  if (!name.empty()) return name;
  std::optional<std::string> answer = ask_file_name(s.dialogue(), prompt, kNameAnswer);
  if (!answer || answer->empty()) return std::nullopt;
  return answer;
}

void Stars::tick(long count) {
  if (every_ < 1 || count % every_ != 0) return;
  if (on_line_ == 0 && indent_ > 0) out_.put(std::string(static_cast<std::size_t>(indent_), ' '));
  out_.put("*");
  if (++on_line_ == per_line_) {
    out_.put("\n");
    on_line_ = 0;
  }
}

void Stars::finish() {
  if (on_line_ > 0) out_.put("\n");
  on_line_ = 0;
}

}  // namespace lumiray
