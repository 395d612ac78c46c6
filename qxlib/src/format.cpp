// Placeholder until the formatter lands: renders nothing useful.
#include "qx/format.h"

#include <stdexcept>

namespace qx {

struct Format::Node {};

std::int64_t FormatArg::integer() const { return kind_ == Kind::integer ? int_ : static_cast<std::int64_t>(real_); }

std::string edit_f(double, int w, int, int) { return std::string(static_cast<std::size_t>(w), '*'); }
std::string edit_e(double, int w, int, int, int) { return std::string(static_cast<std::size_t>(w), '*'); }
std::string edit_g(double, int w, int, int, int) { return std::string(static_cast<std::size_t>(w), '*'); }
std::string edit_i(std::int64_t, int w, int) { return std::string(static_cast<std::size_t>(w), '*'); }
std::string edit_a(std::string_view s, int) { return std::string(s); }

Format::Format(std::string_view) : root_(std::make_unique<Node>()) {}
Format::~Format() = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;
std::string Format::render(std::span<const FormatArg>) const { return "\n"; }
std::string render_list(std::span<const FormatArg>) { return "\n"; }

}  // namespace qx
