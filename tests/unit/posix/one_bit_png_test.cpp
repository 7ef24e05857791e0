#include "platform/posix/one_bit_png.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_platform.h"
#include "platform/error.h"
#include "platform/posix/a1_dots.h"

namespace imptherm::posix {
namespace {

std::uint32_t Get32(const std::string& s, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(s[at])} << 24 |
         std::uint32_t{static_cast<unsigned char>(s[at + 1])} << 16 |
         std::uint32_t{static_cast<unsigned char>(s[at + 2])} << 8 | static_cast<unsigned char>(s[at + 3]);
}

// A PNG file read back the plain way: every chunk's CRC checked, the image
// data inflated by zlib (which checks the Adler-32), the rows' filters
// undone. Returns the dots, 1 for black, one byte a dot; empty on a fault.
std::vector<unsigned char> Decode(const std::string& png, int width, int height) {
  if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
    return ADD_FAILURE() << "no PNG signature", std::vector<unsigned char>{};
  std::string data;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t size = Get32(png, at);
    const std::string type = png.substr(at + 4, 4);
    const auto* bytes = reinterpret_cast<const Bytef*>(png.data() + at + 4);
    EXPECT_EQ(crc32(0, bytes, size + 4), Get32(png, at + 8 + size)) << type << " CRC";
    if (type == "IHDR") {
      EXPECT_EQ(Get32(png, at + 8), static_cast<std::uint32_t>(width));
      EXPECT_EQ(Get32(png, at + 12), static_cast<std::uint32_t>(height));
      EXPECT_EQ(png.substr(at + 16, 5), std::string("\x01\x00\x00\x00\x00", 5)) << "one bit grey";
    }
    if (type == "IDAT") data += png.substr(at + 8, size);
    at += 12 + size;
    if (type == "IEND") {
      EXPECT_EQ(at, png.size()) << "bytes after IEND";
    }
  }
  const std::size_t rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
  std::vector<unsigned char> raw((rowBytes + 1) * height + 1);
  z_stream z{};
  inflateInit(&z);
  z.next_in = reinterpret_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = raw.data();
  z.avail_out = static_cast<uInt>(raw.size());
  const int status = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  if (status != Z_STREAM_END || z.total_out != raw.size() - 1)
    return ADD_FAILURE() << "inflate: " << status << " " << (z.msg ? z.msg : ""), std::vector<unsigned char>{};
  std::vector<unsigned char> dots(static_cast<std::size_t>(width) * height);
  std::vector<unsigned char> above(rowBytes, 0);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = raw.data() + y * (rowBytes + 1);
    if (row[0] != 0 && row[0] != 2) return ADD_FAILURE() << "filter " << int{row[0]}, std::vector<unsigned char>{};
    for (std::size_t i = 0; i < rowBytes; ++i) {
      if (row[0] == 2) row[1 + i] = static_cast<unsigned char>(row[1 + i] + above[i]);
      above[i] = row[1 + i];
    }
    for (int x = 0; x < width; ++x)
      dots[static_cast<std::size_t>(y) * width + x] = !((above[x / 8] >> (7 - x % 8)) & 1);
  }
  return dots;
}

enum class Fill { Blank, Black, Random };
struct Picture {
  Fill fill;
  unsigned seed = 0;
  std::vector<std::pair<int, int>> flips = {};  // dots turned over after the fill
};

// Encoded and decoded, each picture of a case in turn through one encoder
// (a run of labels), compared dot for dot.
TEST(OneBitPngTest, PicturesComeBackDotForDot) {
  const struct {
    const char* what;
    int width, height;
    std::vector<Picture> pictures;
  } cases[] = {
      {"blank, one row", 8, 1, {{Fill::Blank}}},
      {"black, then blank, width not a multiple of 8", 13, 7, {{Fill::Black}, {Fill::Blank}}},
      {"random dots", 101, 50, {{Fill::Random, 1}, {Fill::Random, 2}}},
      {"rows longer than a match (258)", 2073, 6, {{Fill::Black}, {Fill::Random, 3}, {Fill::Blank}}},
      {"labels alike, then one differing in one dot",
       406,
       120,
       {{Fill::Random, 4},
        {Fill::Random, 4},
        {Fill::Random, 4},
        {Fill::Random, 4, {{200, 60}}},
        {Fill::Random, 4, {{0, 0}, {405, 119}}},
        {Fill::Random, 4},
        {Fill::Random, 4, {{7, 118}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fakes::TempDir dir;
    OneBitPng png;
    const int stride = (c.width + 31) / 32 * 4;  // as cairo's A1 surfaces have it
    for (std::size_t n = 0; n < c.pictures.size(); ++n) {
      const Picture& p = c.pictures[n];
      SCOPED_TRACE("picture " + std::to_string(n));
      std::vector<unsigned char> a1(static_cast<std::size_t>(stride) * c.height, p.fill == Fill::Black ? 0xff : 0);
      std::vector<unsigned char> want(static_cast<std::size_t>(c.width) * c.height, p.fill == Fill::Black);
      auto dot = [&](int x, int y) -> unsigned char& { return want[static_cast<std::size_t>(y) * c.width + x]; };
      std::mt19937 random(p.seed);
      for (int y = 0; p.fill == Fill::Random && y < c.height; ++y) {
        // Rows like the one above, runs, and scattered dots, as on a label;
        // the bits past the width left as they come.
        const unsigned kind = random() % 4;
        for (int x = 0; x < stride * 8; ++x) {
          const bool on = kind == 0   ? y > 0 && x < c.width && dot(x, y - 1)
                          : kind == 1 ? (x / 24) % 2
                                      : random() % 5 == 0;
          if (x < c.width) dot(x, y) = on;
          if (on) a1[y * stride + x / 8] |= DotMask(x % 8, x % 8 + 1);
        }
      }
      for (auto [x, y] : p.flips) {
        dot(x, y) ^= 1;
        a1[y * stride + x / 8] ^= DotMask(x % 8, x % 8 + 1);
      }
      const std::string path = dir.path() + "label-" + std::to_string(n) + ".png";
      png.Write(path, a1.data(), stride, c.width, c.height, 203);
      const std::vector<unsigned char> got = Decode(fakes::ReadFile(path), c.width, c.height);
      ASSERT_EQ(got.size(), want.size());
      for (std::size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "dot " << i % c.width << "," << i / c.width;
    }
  }
}

// A picture that cannot be written whole over an older one (a size limit
// cuts the write short or takes nothing) is an error naming the file and
// why, and leaves no mix of the two pictures behind.
TEST(OneBitPngTest, AWriteCutShortIsAnErrorNamingTheFile) {
  fakes::TempDir dir;
  const int width = 400, height = 300, stride = 52;
  std::vector<unsigned char> dots(static_cast<std::size_t>(stride) * height);
  std::mt19937 random(5);
  for (unsigned char& b : dots) b = static_cast<unsigned char>(random());
  const std::string path = dir.path() + "label-0001.png";
  OneBitPng png;
  png.Write(path, dots.data(), stride, width, height, 203);
  ASSERT_GT(fakes::ReadFile(path).size(), 1000u);
  const struct {
    const char* what;
    std::string path;
    rlim_t limit;
    const char* why;
  } cases[] = {{"short write", path, 1000, "File too large"}, {"nothing written", path, 0, "File too large"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dots[0] ^= 1;
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit limit{c.limit, old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    auto* const action = std::signal(SIGXFSZ, SIG_IGN);
    std::string error;
    try {
      png.Write(c.path, dots.data(), stride, width, height, 203);
    } catch (const PlatformError& e) {
      error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, action);
    EXPECT_NE(error.find("cannot write to " + c.path + ": " + c.why), std::string::npos) << error;
  }
  EXPECT_EQ(fakes::ReadFile(path), "");
}

}  // namespace
}  // namespace imptherm::posix
