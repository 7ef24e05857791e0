#pragma once
// Rendered pages read back for checks: shell commands and grey-level pixels.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/cairo_documents.h"

namespace imptherm {

inline std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

// One rendered page in grey levels.
struct Page {
  int width = 0, height = 0;
  std::vector<unsigned char> grey;
  int Pixel(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height ? grey[y * width + x] : 255; }
  // The darkest pixel around the device point of sheet unit (u, v) at 3
  // pixels a unit, from the printable area's corner.
  int At(double u, double v) const {
    const int off = static_cast<int>(posix::kPrintableOffsetInches * 300);
    const int x = off + static_cast<int>(u * 3), y = off + static_cast<int>(v * 3);
    int darkest = 255;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int xx = x + dx, yy = y + dy;
        if (xx >= 0 && yy >= 0 && xx < width && yy < height) darkest = std::min<int>(darkest, grey[yy * width + xx]);
      }
    return darkest;
  }
  bool Black(double u, double v) const { return At(u, v) < 100; }
  // Dark pixels in a box of sheet units.
  int DarkIn(double u1, double v1, double u2, double v2) const {
    const int off = static_cast<int>(posix::kPrintableOffsetInches * 300);
    int n = 0;
    for (int y = off + static_cast<int>(v1 * 3); y < off + static_cast<int>(v2 * 3); ++y)
      for (int x = off + static_cast<int>(u1 * 3); x < off + static_cast<int>(u2 * 3); ++x)
        n += grey[y * width + x] < 100;
    return n;
  }
};

inline Page ReadPgm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  Page p;
  in >> magic >> p.width >> p.height >> maxval;
  in.get();
  p.grey.resize(static_cast<std::size_t>(p.width) * p.height);
  in.read(reinterpret_cast<char*>(p.grey.data()), static_cast<std::streamsize>(p.grey.size()));
  return p;
}

}  // namespace imptherm
