// Ray files (".bin"): unformatted sequential files as a Fortran runtime writes them. Every
// record is framed by its byte length, a 4-byte little-endian integer, before and after
// the data. Record 1 is the 100-character caption (108 bytes in all); every further record
// is one ray, five little-endian IEEE doubles x, th, y, ph, d (48 bytes in all).
//
// Bytes are assembled one by one, so the files are the same on any host. Rays are streamed
// through a fixed buffer: nothing is allocated per ray.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace lumiray {

// One ray: x, y in metres, th, ph in radians (slopes), d the energy deviation in percent.
struct Ray {
  double x = 0.0;
  double th = 0.0;
  double y = 0.0;
  double ph = 0.0;
  double d = 0.0;
};

inline constexpr std::size_t kCaptionLength = 100;
inline constexpr std::uint32_t kRayBytes = 40;                    // data of one ray record
inline constexpr std::size_t kMarkerBytes = 4;                    // one record-length marker
inline constexpr std::size_t kRayRecordBytes = kRayBytes + 2 * kMarkerBytes;

// The bytes of one ray record and of a caption record, and their decoding.
void encode_ray(const Ray& r, unsigned char (&rec)[kRayRecordBytes]);
// False when the markers are not those of a 40-byte record.
bool decode_ray(const unsigned char (&rec)[kRayRecordBytes], Ray& r);
std::string caption_record(std::string_view caption);

// Reads a ray file: the caption, then rays by index (1-based).
class RayReader {
 public:
  // nullptr when the file cannot be opened (or is a directory).
  static std::unique_ptr<RayReader> open(const std::filesystem::path& path);
  ~RayReader();
  RayReader(const RayReader&) = delete;
  RayReader& operator=(const RayReader&) = delete;

  // Reads the caption record from the start of the file (blank padded or cut to 100
  // characters). False when the file does not begin with a whole record.
  bool read_caption(std::string& caption);

  // Counts the whole ray records after the caption, up to the end of the file or the first
  // damaged one (a record whose markers are not those of a ray, or that is cut short).
  struct Count {
    long rays = 0;
    bool damaged = false;   // the count stopped before the end of the file
  };
  Count count_rays();

  // Ray number index (1-based). False at the end of the file or at a damaged record.
  bool read_ray(long index, Ray& r);

  const std::filesystem::path& path() const { return path_; }

 private:
  RayReader(std::FILE* f, std::filesystem::path path, long size);
  bool read_exact(void* data, std::size_t n);
  std::FILE* file_;
  std::filesystem::path path_;
  long size_;                  // bytes in the file when it was opened
  long first_ray_ = -1;        // offset of the first ray record (after the caption)
  long next_index_ = -1;       // index of the ray at the current position, -1 unknown
};

// Writes a ray file.
class RayWriter {
 public:
  enum class Mode {
    replace,   // a new file takes the name when the writer finishes; the old one stays until then
    append     // rays go after those already in the file; the caption only into an empty file
  };
  // nullptr with a reason when the file cannot be opened, when (replace) an existing file
  // that is not empty does not start with a caption record, or (append) when the file is
  // not a sound ray file, since rays appended after a damaged record could never be read.
  static std::unique_ptr<RayWriter> open(const std::filesystem::path& path, Mode mode, std::string_view caption,
                                         std::string& why);
  ~RayWriter();   // an unfinished replacement is dropped, the old file kept
  RayWriter(const RayWriter&) = delete;
  RayWriter& operator=(const RayWriter&) = delete;

  bool write(const Ray& r);
  // Closes the file (and puts a replacement in place). False on an I/O error.
  bool finish();
  long rays() const { return rays_; }   // ray records in the file, earlier ones included
  const std::filesystem::path& path() const { return path_; }

 private:
  RayWriter(std::FILE* f, std::filesystem::path path, std::filesystem::path temp, long rays);
  std::FILE* file_;
  std::filesystem::path path_;
  std::filesystem::path temp_;   // empty when appending
  long rays_;
  bool failed_ = false;
};

}  // namespace lumiray
