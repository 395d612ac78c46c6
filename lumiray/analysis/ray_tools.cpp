#include "analysis/ray_tools.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "io/lqio.h"
#include "qx/text.h"

namespace lumiray {

namespace {
constexpr std::size_t kBaseLength = 26;   // base names of output files
}  // namespace

ImagePlanes image_planes(const Ray& r1, const Ray& r2, double product_limit, double each_limit) {
  const double dth = r2.th - r1.th;
  const double dph = r2.ph - r1.ph;
  ImagePlanes p;
  if (!(std::fabs(dth * dph) >= product_limit) || !(std::fabs(dth) >= each_limit) || !(std::fabs(dph) >= each_limit)) {
    p.degenerate = true;
    return p;
  }
  p.zx = -(r2.x - r1.x) / dth;
  p.zy = -(r2.y - r1.y) / dph;
  if (!std::isfinite(p.zx) || !std::isfinite(p.zy)) p = ImagePlanes{0.0, 0.0, true};
  return p;
}

bool paraxial_planes(RaySource& rays, qx::Output& out, double product_limit, double each_limit, ImagePlanes& planes) {
  static const qx::Format kBad{"(1H ,'Bad paraxial rays.')"};
  Ray r1, r2;
  if (rays.count() < 2 || !rays.get(1, r1) || !rays.get(2, r2)) return false;
  planes = image_planes(r1, r2, product_limit, each_limit);
  if (planes.degenerate) out.write(kBad);
  return true;
}

bool has_rays(Lumiray& s, DataSet& rays, std::string_view who, long least) {
  static const qx::Format kTooFew{"(1H ,A,' - The ray set holds ',I6,' rays; at least ',I1,' are needed.')"};
  if (!rays.ready(who)) return false;
  if (rays.count() >= least) return true;
  s.out.write(kTooFew, std::string(who), rays.count(), static_cast<int>(least));
  return false;
}

std::string output_name(std::string_view name, std::string_view extension) {
  std::string n(qx::trim_right(name));
  const std::size_t lead = n.find_first_not_of(' ');
  n = lead == std::string::npos ? std::string() : n.substr(lead);
  const std::size_t slash = n.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  if (n.find('.', base) != std::string::npos) return n;
  n = n.substr(0, n.find(' '));
  if (n.size() - base > kBaseLength) n.resize(base + kBaseLength);
  return n + std::string(extension);
}

std::string name_before_dot(std::string_view name) {
  const std::string n(qx::trim_right(name));
  const std::size_t slash = n.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  return n.substr(0, n.find('.', base));
}

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  const auto na = std::filesystem::weakly_canonical(a, ec);
  if (ec) return false;
  const auto nb = std::filesystem::weakly_canonical(b, ec);
  return !ec && na == nb;
}

bool may_write(Lumiray& s, std::string_view routine, const std::string& name) {
  static const qx::Format kCurrent{"(1H ,'?',A,' - ',A,' is the current data set; it is not written over.')"};
  static const qx::Format kCoefficients{
      "(1H ,'?',A,' - ',A,' is the coefficient file just read; it is not written over.')"};
  const std::string current = s.rays.reader ? s.rays.reader->path().string() : std::string();
  if (same_file(name, current)) {
    s.out.write(kCurrent, routine, name);
    return false;
  }
  if (same_file(name, s.cof_file)) {
    s.out.write(kCoefficients, routine, name);
    return false;
  }
  return true;
}

std::optional<std::string> ask_name(Dialogue d, const std::function<void()>& prompt, std::size_t width) {
  static const qx::Format kTooLong{"(1H ,'?LUMIRAY - A file name here has at most ',I3,' characters.')"};
  while (true) {
    prompt();
    const std::optional<std::string> answer = read_answer(d);
    if (!answer) return std::nullopt;
    const std::string_view a = qx::trim_right(*answer);
    const std::size_t lead = a.find_first_not_of(" \t");
    const std::string name = lead == std::string_view::npos ? std::string() : std::string(a.substr(lead));
    if (name.size() <= width) return name;
    d.out.write(kTooLong, static_cast<int>(width));
  }
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
