// tek2svg: draws a graphics-terminal byte stream (a plot sent to a file with DEST) as SVG.
//
//   tek2svg [-p N] input.tek [output.svg]
//
// Each screen erase starts a new page; the last page with a drawing is written unless -p
// chooses one (1 is the first). Without an output name the SVG goes to standard output.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "qx/tekdecode.h"

int main(int argc, char** argv) {
  int page = 0;
  int arg = 1;
  if (arg + 1 < argc && std::string(argv[arg]) == "-p") {
    page = std::atoi(argv[arg + 1]);
    arg += 2;
  }
  if (arg >= argc || argc - arg > 2) {
    std::cerr << "usage: tek2svg [-p N] input.tek [output.svg]\n";
    return 2;
  }
  std::ifstream in(argv[arg], std::ios::binary);
  if (!in) {
    std::cerr << "tek2svg: cannot open " << argv[arg] << "\n";
    return 1;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const qx::TekDrawing d = qx::decode_tek(bytes);
  int chosen = static_cast<int>(d.pages.size());
  if (page > 0) {
    if (page > static_cast<int>(d.pages.size())) {
      std::cerr << "tek2svg: the stream has " << d.pages.size() << " page(s)\n";
      return 1;
    }
    chosen = page;
  } else {
    while (chosen > 1 && d.pages[static_cast<std::size_t>(chosen - 1)].segments.empty()) --chosen;
  }
  const std::string svg = qx::tek_page_svg(d.pages[static_cast<std::size_t>(chosen - 1)]);
  if (argc - arg == 2) {
    std::ofstream out(argv[arg + 1]);
    out << svg;
    if (!out) {
      std::cerr << "tek2svg: cannot write " << argv[arg + 1] << "\n";
      return 1;
    }
  } else {
    std::cout << svg;
  }
  std::cerr << "tek2svg: page " << chosen << " of " << d.pages.size() << ", "
            << d.pages[static_cast<std::size_t>(chosen - 1)].segments.size() << " segments\n";
  return 0;
}
