// Helpers of the ray-set analysis tests: ray files and coefficient files written from
// values chosen in the test, files read back, numbers found in a transcript.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/rayfile.h"
#include "session.h"

namespace analysis_test {

using lumiray::Ray;

inline void write_rays(const std::filesystem::path& p, const std::vector<Ray>& rays, const std::string& caption = "test set") {
  std::string why;
  auto w = lumiray::RayWriter::open(p, lumiray::RayWriter::Mode::replace, caption, why);
  if (!w) throw std::runtime_error(why);
  for (const Ray& r : rays)
    if (!w->write(r)) throw std::runtime_error("ray not written to " + p.string());
  if (!w->finish()) throw std::runtime_error("ray file not finished: " + p.string());
}

inline std::vector<Ray> read_rays(const std::filesystem::path& p, std::string* caption = nullptr) {
  std::vector<Ray> rays;
  auto r = lumiray::RayReader::open(p);
  if (!r) return rays;
  std::string c;
  r->read_caption(c);
  if (caption) *caption = c;
  Ray ray;
  for (long i = 1; r->read_ray(i, ray); ++i) rays.push_back(ray);
  return rays;
}

// A coefficient file: the given first-order matrix (row by row), no higher orders unless
// theta3 (the x/th^3 term) is given, aperture half widths and centres, shape letter.
struct Cof {
  double first[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double aperture[4] = {1e-3, 0, 1e-3, 0};
  double collimator = 0.1;
  char shape = 'C';
  double shadow = 0.1;
  double theta3 = 0.0;
};

inline void write_cof(const std::filesystem::path& p, const Cof& c) {
  std::ostringstream o;
  o.precision(17);
  o << " Test system\n 1e-6, 0, 1e-6, 0\n";
  for (double v : c.aperture) o << ' ' << v;
  o << "\n " << c.collimator << "\n " << c.shape << "\n " << c.shadow << "\n 1.0\n";
  for (double v : c.first) o << ' ' << v;
  o << "\n";
  for (int i = 0; i < 40; ++i) o << " 0";
  o << "\n " << c.theta3;
  for (int i = 1; i < 24; ++i) o << " 0";
  o << "\n 0,0,0,0,0,0\n 0,0,0,0,0,0\n 0 0\n 0 0\n";
  qxtest::write_file(p, o.str());
}

// The numbers of the data records of a plot-data file (after its seven header records).
inline std::vector<std::vector<double>> data_records(const std::filesystem::path& p) {
  std::vector<std::vector<double>> rows;
  const auto lines = qxtest::split_lines(qxtest::read_file(p));
  for (std::size_t i = 7; i < lines.size(); ++i) {
    std::vector<double> row;
    std::string field;
    std::istringstream in(lines[i]);
    while (std::getline(in, field, ',')) row.push_back(std::stod(field));
    rows.push_back(row);
  }
  return rows;
}

// The number after the first occurrence of label in text (NaN when absent).
inline double number_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// How often part appears in text.
inline std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace analysis_test
