#include "qx/coffile.h"

#include "qx/text.h"

namespace qx {

std::string cof_file_name(std::string_view name) {
  std::string s(trim_right(name));
  const std::size_t slash = s.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (s.find('.', base) != std::string::npos) return s;
  return s.substr(0, s.find(' ', base)) + std::string(kCofExtension);
}

}  // namespace qx
