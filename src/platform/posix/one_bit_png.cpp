#include "platform/posix/one_bit_png.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iterator>

#include "platform/error.h"
#include "platform/posix/a1_dots.h"

namespace imptherm::posix {
namespace {

constexpr unsigned ReverseBits(unsigned code, int length) {
  unsigned r = 0;
  for (int i = 0; i < length; ++i) r |= ((code >> i) & 1u) << (length - 1 - i);
  return r;
}

// The fixed Huffman codes of deflate, ready to go out lowest bit first.
struct HuffmanCode {
  std::uint16_t bits = 0;
  std::uint8_t length = 0;
};
constexpr std::array<HuffmanCode, 288> FixedCodes() {
  std::array<HuffmanCode, 288> c{};
  for (int v = 0; v < 288; ++v) {
    const auto [first, length, base] = v < 144   ? std::array{0x30, 8, 0}
                                       : v < 256 ? std::array{0x190, 9, 144}
                                       : v < 280 ? std::array{0, 7, 256}
                                                 : std::array{0xC0, 8, 280};
    c[v] = {static_cast<std::uint16_t>(ReverseBits(static_cast<unsigned>(first + v - base), length)),
            static_cast<std::uint8_t>(length)};
  }
  return c;
}
constexpr std::array<HuffmanCode, 288> kFixedCodes = FixedCodes();

// A match's length as a symbol and its extra bits.
struct LengthCode {
  int symbol = 0, extra = 0, extraBits = 0;
};
constexpr std::array<LengthCode, 259> LengthCodes() {
  constexpr int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr int extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  std::array<LengthCode, 259> t{};
  for (int code = 0; code < 28; ++code)
    for (int length = base[code]; length < base[code] + (1 << extra[code]) && length < 258; ++length)
      t[length] = {257 + code, length - base[code], extra[code]};
  t[258] = {285, 0, 0};
  return t;
}
constexpr std::array<LengthCode, 259> kLengthCodes = LengthCodes();
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

}  // namespace

void RowCode::Literal(unsigned char byte) { Symbol(byte); }

void RowCode::Match(int length, int distance) {
  int code = 0;
  while (code < 29 && kDistanceBase[code + 1] <= distance) ++code;
  while (length > 0) {
    int take = std::min(length, 258);
    if (length - take > 0 && length - take < 3) take = length - 3;
    length -= take;
    const LengthCode& l = kLengthCodes[take];
    Symbol(l.symbol);
    Bits(static_cast<unsigned>(l.extra), l.extraBits);
    Bits(ReverseBits(static_cast<unsigned>(code), 5), 5);
    Bits(static_cast<unsigned>(distance - kDistanceBase[code]), kDistanceExtra[code]);
  }
}

void RowCode::Symbol(int symbol) { Bits(kFixedCodes[symbol].bits, kFixedCodes[symbol].length); }

void RowCode::Bits(unsigned value, int count) {
  tail_ |= std::uint64_t{value} << count_;
  count_ += count;
  if (count_ >= 32) {
    words_.push_back(static_cast<std::uint32_t>(tail_));
    tail_ >>= 32, count_ -= 32;
  }
}

DeflateStream::DeflateStream(unsigned char* out) : out_(out) {
  Bits(1, 1);  // the last block
  Bits(1, 2);  // fixed codes
}

void DeflateStream::Append(const RowCode& row) {
  for (std::uint32_t word : row.words()) Bits(word, 32);
  Bits(row.tail(), row.tailBits());
}

unsigned char* DeflateStream::End() {
  Bits(kFixedCodes[256].bits, kFixedCodes[256].length);  // end of block
  Bits(0, 7);                                            // the last bits out to a whole byte
  while (count_ >= 8) {
    *out_++ = static_cast<unsigned char>(bits_);
    bits_ >>= 8, count_ -= 8;
  }
  return out_;
}

void DeflateStream::Bits(std::uint32_t value, int count) {
  bits_ |= std::uint64_t{value} << count_;
  count_ += count;
  if (count_ >= 32) {
    for (int i = 0; i < 4; ++i) *out_++ = static_cast<unsigned char>(bits_ >> (8 * i));
    bits_ >>= 32, count_ -= 32;
  }
}

void OneBitPng::Write(const std::string& path, const unsigned char* dots, int stride, int width, int height, int dpi) {
  static constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  file_.assign(std::begin(kSignature), std::end(kSignature));
  unsigned char header[13] = {};
  Put32(header, static_cast<std::uint32_t>(width));
  Put32(header + 4, static_cast<std::uint32_t>(height));
  header[8] = 1;  // one bit, grey; deflate, filtered by rows, not interlaced
  Chunk("IHDR", header, sizeof header);
  unsigned char physical[9] = {};
  const auto perMetre = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
  Put32(physical, perMetre);
  Put32(physical + 4, perMetre);
  physical[8] = 1;  // per metre
  Chunk("pHYs", physical, sizeof physical);
  const std::size_t start = file_.size();
  file_.resize(start + 8);
  std::memcpy(file_.data() + start + 4, "IDAT", 4);
  Compress(dots, stride, width, height);
  Put32(file_.data() + start, static_cast<std::uint32_t>(file_.size() - start - 8));
  EndChunk(start);
  Chunk("IEND", nullptr, 0);
  WriteFile(path);
}

// Every row filtered "up" (minus the row above): a row like the one
// above is all zero, and rows of a bar or a blank stretch repeat.
void OneBitPng::Compress(const unsigned char* dots, int stride, int width, int height) {
  const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8, filtered = bytes + 1;
  const std::size_t size = static_cast<std::size_t>(stride) * height;
  const bool alike = last_.size() == size && lastWidth_ == width && codes_.size() == static_cast<std::size_t>(height);
  if (!alike) {
    codes_.assign(height, RowCode());
    last_.assign(size, 0);
    lastWidth_ = width;
  }
  now_.assign(filtered, 0);
  before_.assign(filtered, 0);
  file_.push_back(0x78);  // deflate, 32 KiB window
  file_.push_back(0x01);
  const std::size_t start = file_.size();
  file_.resize(start + (filtered * 10 / 8 + 8) * height + 16);
  DeflateStream deflate(file_.data() + start);
  uLong sum = adler32(0, nullptr, 0);
  int sameRows = 0;  // rows up to this one as on the label before
  int beforeRow = -1;
  for (int y = 0; y < height; ++y) {
    const std::size_t at = static_cast<std::size_t>(y) * stride;
    sameRows = alike && std::memcmp(dots + at, last_.data() + at, bytes) == 0 ? sameRows + 1 : 0;
    RowCode& code = codes_[y];
    if (sameRows < 3 && sameRows <= y) {
      if (y > 0 && beforeRow != y - 1) Filter(dots, stride, width, y - 1, before_);
      Filter(dots, stride, width, y, now_);
      Encode(code, y > 0);
      std::swap(now_, before_);
      beforeRow = y;
    }
    deflate.Append(code);
    sum = adler32_combine(sum, code.adler, static_cast<z_off_t>(filtered));
  }
  std::memcpy(last_.data(), dots, size);
  file_.resize(static_cast<std::size_t>(deflate.End() - file_.data()));
  unsigned char check[4];
  Put32(check, static_cast<std::uint32_t>(sum));
  file_.insert(file_.end(), check, check + 4);
}

// The filtered row: its filter byte, then its bytes minus those above.
void OneBitPng::Filter(const unsigned char* dots, int stride, int width, int y, std::vector<unsigned char>& out) {
  const std::size_t bytes = out.size() - 1;
  const unsigned char* row = dots + static_cast<std::ptrdiff_t>(y) * stride;
  out[0] = 2;  // filter: up
  if (y > 0 && std::memcmp(row, row - stride, bytes) == 0) {
    std::memset(out.data() + 1, 0, bytes);
    return;
  }
  for (std::size_t i = 0; i < bytes; i += 8) {
    const std::size_t n = std::min<std::size_t>(8, bytes - i);
    std::uint64_t word = 0, above = 0;
    std::memcpy(&word, row + i, n);
    if (y > 0) std::memcpy(&above, row - stride + i, n);
    if (i + n == bytes && width % 8) {
      // The dots past the width are white, whatever a character cut by
      // the edge left there.
      unsigned char last[2] = {row[bytes - 1], static_cast<unsigned char>(y > 0 ? row[bytes - 1 - stride] : 0)};
      for (unsigned char& b : last) b &= DotMask(0, width % 8);
      std::memcpy(reinterpret_cast<unsigned char*>(&word) + n - 1, &last[0], 1);
      std::memcpy(reinterpret_cast<unsigned char*>(&above) + n - 1, &last[1], 1);
    }
    const std::uint64_t d = y > 0 ? (word == above ? 0 : ByteDifference(ToPng(word), ToPng(above))) : ToPng(word);
    std::memcpy(out.data() + 1 + i, &d, n);
  }
}

void OneBitPng::Encode(RowCode& code, bool hasAbove) {
  code.Clear();
  code.adler = adler32(adler32(0, nullptr, 0), now_.data(), static_cast<uInt>(now_.size()));
  if (hasAbove && now_ == before_) return code.Match(static_cast<int>(now_.size()), static_cast<int>(now_.size()));
  for (std::size_t i = 0; i < now_.size();) {
    const std::size_t end = RunEnd(i, now_.size());
    if (end - i >= 4) {
      code.Literal(now_[i]);
      code.Match(static_cast<int>(end - i - 1), 1);
    } else {
      for (std::size_t k = i; k < end; ++k) code.Literal(now_[k]);
    }
    i = end;
  }
}

// Eight bytes of dots as PNG has them: bits turned round where the first
// dot is the lowest, and 1 for white.
std::uint64_t OneBitPng::ToPng(std::uint64_t dots) {
  if constexpr (kFirstDotLow) {
    dots = ((dots >> 1) & 0x5555555555555555ull) | ((dots & 0x5555555555555555ull) << 1);
    dots = ((dots >> 2) & 0x3333333333333333ull) | ((dots & 0x3333333333333333ull) << 2);
    dots = ((dots >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((dots & 0x0F0F0F0F0F0F0F0Full) << 4);
  }
  return ~dots;
}

// a - b in each byte on its own.
std::uint64_t OneBitPng::ByteDifference(std::uint64_t a, std::uint64_t b) {
  constexpr std::uint64_t high = 0x8080808080808080ull;
  return ((a | high) - (b & ~high)) ^ ((a ^ ~b) & high);
}

// Where the run of now_[at]'s byte ends, eight bytes a step.
std::size_t OneBitPng::RunEnd(std::size_t at, std::size_t size) const {
  const unsigned char* p = now_.data();
  const std::uint64_t same = p[at] * 0x0101010101010101ull;
  std::size_t end = at + 1;
  for (; end + 8 <= size; end += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + end, 8);
    if (const std::uint64_t other = word ^ same)
      return end + (std::endian::native == std::endian::little ? std::countr_zero(other) : std::countl_zero(other)) / 8;
  }
  while (end < size && p[end] == p[at]) ++end;
  return end;
}

void OneBitPng::Put32(unsigned char* at, std::uint32_t v) {
  at[0] = static_cast<unsigned char>(v >> 24), at[1] = static_cast<unsigned char>(v >> 16);
  at[2] = static_cast<unsigned char>(v >> 8), at[3] = static_cast<unsigned char>(v);
}

void OneBitPng::Chunk(const char* type, const unsigned char* data, std::size_t size) {
  const std::size_t start = file_.size();
  file_.resize(start + 8);
  Put32(file_.data() + start, static_cast<std::uint32_t>(size));
  std::memcpy(file_.data() + start + 4, type, 4);
  if (size) file_.insert(file_.end(), data, data + size);
  EndChunk(start);
}

// The check sum of a chunk's type and data.
void OneBitPng::EndChunk(std::size_t start) {
  const uLong crc = crc32(0, file_.data() + start + 4, static_cast<uInt>(file_.size() - start - 4));
  file_.resize(file_.size() + 4);
  Put32(file_.data() + file_.size() - 4, static_cast<std::uint32_t>(crc));
}

// Opened as the system's own files are (no symbolic link followed, no file
// of another user written): the folder may be shared. A write that stops
// part way (a full disk, a size limit) leaves no half picture behind; the
// error says which file and why.
void OneBitPng::WriteFile(const std::string& path) const {
  WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(file_.data()), file_.size()), notThis_);
}

}  // namespace imptherm::posix
