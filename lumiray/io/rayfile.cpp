#include "io/rayfile.h"

#include <bit>
#include <cstring>
#include <system_error>
#include <vector>

#include "qx/units.h"

namespace lumiray {

namespace {

constexpr std::size_t kStreamBuffer = 1 << 16;   // stdio buffer of a ray file

void put_u32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t get_u32(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void put_f64(unsigned char* p, double x) {
  const std::uint64_t v = std::bit_cast<std::uint64_t>(x);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

double get_f64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return std::bit_cast<double>(v);
}

long file_size(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(f);
  std::rewind(f);
  return size;
}

bool names_directory(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_directory(p, ec);
}

// A file that rays may replace: none, an empty one, or one that starts with a whole caption
// record. Anything else (a coefficient file named by a slip) would be lost.
bool replaceable_by_rays(const std::filesystem::path& p) {
  std::error_code ec;
  if (!std::filesystem::exists(p, ec) && !ec) return true;
  if (std::filesystem::is_regular_file(p, ec) && std::filesystem::file_size(p, ec) == 0 && !ec) return true;
  std::FILE* f = std::fopen(p.c_str(), "rb");
  if (f == nullptr) return false;
  unsigned char head[kCaptionLength + 2 * kMarkerBytes];
  const bool whole = std::fread(head, 1, sizeof head, f) == sizeof head;
  std::fclose(f);
  return whole && get_u32(head) == kCaptionLength && get_u32(head + kMarkerBytes + kCaptionLength) == kCaptionLength;
}

}  // namespace

void encode_ray(const Ray& r, unsigned char (&rec)[kRayRecordBytes]) {
  put_u32(rec, kRayBytes);
  put_f64(rec + 4, r.x);
  put_f64(rec + 12, r.th);
  put_f64(rec + 20, r.y);
  put_f64(rec + 28, r.ph);
  put_f64(rec + 36, r.d);
  put_u32(rec + 44, kRayBytes);
}

bool decode_ray(const unsigned char (&rec)[kRayRecordBytes], Ray& r) {
  if (get_u32(rec) != kRayBytes || get_u32(rec + 44) != kRayBytes) return false;
  r.x = get_f64(rec + 4);
  r.th = get_f64(rec + 12);
  r.y = get_f64(rec + 20);
  r.ph = get_f64(rec + 28);
  r.d = get_f64(rec + 36);
  return true;
}

std::string caption_record(std::string_view caption) {
  std::string rec(kCaptionLength + 2 * kMarkerBytes, ' ');
  auto* p = reinterpret_cast<unsigned char*>(rec.data());
  put_u32(p, kCaptionLength);
  const std::size_t n = std::min(caption.size(), kCaptionLength);
  std::memcpy(p + kMarkerBytes, caption.data(), n);
  put_u32(p + kMarkerBytes + kCaptionLength, kCaptionLength);
  return rec;
}

// ---------------------------------------------------------------------------------------
// RayReader
// ---------------------------------------------------------------------------------------
RayReader::RayReader(std::FILE* f, std::filesystem::path path, long size)
    : file_(f), path_(std::move(path)), size_(size) {}

std::unique_ptr<RayReader> RayReader::open(const std::filesystem::path& path) {
  if (path.empty() || names_directory(path)) return nullptr;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return nullptr;
  std::setvbuf(f, nullptr, _IOFBF, kStreamBuffer);
  const long size = file_size(f);
  if (size < 0) {
    std::fclose(f);
    return nullptr;
  }
  return std::unique_ptr<RayReader>(new RayReader(f, path, size));
}

RayReader::~RayReader() { std::fclose(file_); }

bool RayReader::read_exact(void* data, std::size_t n) { return std::fread(data, 1, n, file_) == n; }

bool RayReader::read_caption(std::string& caption) {
  first_ray_ = -1;
  next_index_ = -1;
  unsigned char marker[kMarkerBytes];
  if (std::fseek(file_, 0, SEEK_SET) != 0 || !read_exact(marker, kMarkerBytes)) return false;
  const std::uint32_t length = get_u32(marker);
  // The record must lie wholly inside the file: a damaged marker never sends us past it.
  if (static_cast<long long>(length) + 2 * static_cast<long long>(kMarkerBytes) > size_) return false;
  std::string text(std::min<std::size_t>(length, kCaptionLength), ' ');
  if (!read_exact(text.data(), text.size())) return false;
  const long end = static_cast<long>(kMarkerBytes + length);
  if (std::fseek(file_, end, SEEK_SET) != 0 || !read_exact(marker, kMarkerBytes) || get_u32(marker) != length)
    return false;
  text.resize(kCaptionLength, ' ');
  caption = std::move(text);
  first_ray_ = end + static_cast<long>(kMarkerBytes);
  next_index_ = 1;
  return true;
}

RayReader::Count RayReader::count_rays() {
  Count c;
  if (first_ray_ < 0 || std::fseek(file_, first_ray_, SEEK_SET) != 0) {
    c.damaged = true;
    return c;
  }
  // Whole blocks of records at a time; only the markers need looking at.
  constexpr std::size_t kBlockRecords = 1024;
  std::vector<unsigned char> block(kBlockRecords * kRayRecordBytes);
  while (true) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), file_);
    const std::size_t whole = got / kRayRecordBytes;
    for (std::size_t k = 0; k < whole; ++k) {
      const unsigned char* rec = block.data() + k * kRayRecordBytes;
      if (get_u32(rec) != kRayBytes || get_u32(rec + kMarkerBytes + kRayBytes) != kRayBytes) {
        c.damaged = true;
        break;
      }
      ++c.rays;
    }
    if (c.damaged) break;
    if (got < block.size()) {
      c.damaged = got % kRayRecordBytes != 0;   // a record cut short at the end
      break;
    }
  }
  std::clearerr(file_);
  next_index_ = -1;
  return c;
}

bool RayReader::read_ray(long index, Ray& r) {
  if (first_ray_ < 0 || index < 1) return false;
  if (index != next_index_) {
    // Ray records all have the same length, so any ray is one seek away.
    const long long offset = first_ray_ + static_cast<long long>(index - 1) * static_cast<long long>(kRayRecordBytes);
    if (offset + static_cast<long long>(kRayRecordBytes) > size_ ||
        std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
      next_index_ = -1;
      return false;
    }
  }
  unsigned char rec[kRayRecordBytes];
  if (!read_exact(rec, kRayRecordBytes) || !decode_ray(rec, r)) {
    std::clearerr(file_);
    next_index_ = -1;
    return false;
  }
  next_index_ = index + 1;
  return true;
}

// ---------------------------------------------------------------------------------------
// RayWriter
// ---------------------------------------------------------------------------------------
RayWriter::RayWriter(std::FILE* f, std::filesystem::path path, std::filesystem::path temp, long rays)
    : file_(f), path_(std::move(path)), temp_(std::move(temp)), rays_(rays) {}

std::unique_ptr<RayWriter> RayWriter::open(const std::filesystem::path& path, Mode mode, std::string_view caption,
                                           std::string& why) {
  why.clear();
  if (path.empty() || names_directory(path)) {
    why = "not a file name";
    return nullptr;
  }
  long rays = 0;
  bool empty = true;
  std::filesystem::path temp;
  std::FILE* f = nullptr;
  if (mode == Mode::replace) {
    if (!replaceable_by_rays(path)) {
      why = "not a ray file";
      return nullptr;
    }
    temp = qx::temporary_name(path);
    f = std::fopen(temp.c_str(), "wb");
  } else {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && std::filesystem::file_size(path, ec) > 0) {
      const std::unique_ptr<RayReader> old = RayReader::open(path);
      std::string old_caption;
      if (!old || !old->read_caption(old_caption)) {
        why = "not a ray file";
        return nullptr;
      }
      const RayReader::Count c = old->count_rays();
      if (c.damaged) {
        why = "a damaged ray file";
        return nullptr;
      }
      rays = c.rays;
      empty = false;
    }
    f = std::fopen(path.c_str(), "ab");
  }
  if (f == nullptr) {
    why = "cannot be opened";
    return nullptr;
  }
  std::setvbuf(f, nullptr, _IOFBF, kStreamBuffer);
  std::unique_ptr<RayWriter> w(new RayWriter(f, path, temp, rays));
  if (empty) {
    const std::string rec = caption_record(caption);
    if (std::fwrite(rec.data(), 1, rec.size(), f) != rec.size()) w->failed_ = true;
  }
  return w;
}

RayWriter::~RayWriter() { qx::close_and_discard(file_, temp_); }

bool RayWriter::write(const Ray& r) {
  unsigned char rec[kRayRecordBytes];
  encode_ray(r, rec);
  if (file_ == nullptr || std::fwrite(rec, 1, kRayRecordBytes, file_) != kRayRecordBytes) {
    failed_ = true;
    return false;
  }
  ++rays_;
  return true;
}

bool RayWriter::finish() { return qx::close_and_commit(file_, temp_, path_, failed_); }

}  // namespace lumiray
