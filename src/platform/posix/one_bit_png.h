#pragma once
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/posix_output_file.h"

namespace imptherm::posix {

// The deflate code of one row: symbols with the fixed codes of the format,
// which is all a label needs (its rows, filtered against the row above,
// are mostly zero bytes; a run of one byte or a row equal to the one before
// is one back-reference). Kept as bits, lowest first, in 32-bit words.
class RowCode {
 public:
  void Clear() {
    words_.clear();
    tail_ = 0, count_ = 0;
  }
  void Literal(unsigned char byte);
  // length bytes again from distance bytes back; any length from 3.
  void Match(int length, int distance);
  const std::vector<std::uint32_t>& words() const { return words_; }
  unsigned tail() const { return static_cast<unsigned>(tail_); }
  int tailBits() const { return count_; }
  uLong adler = 1;  // Adler-32 of the row's filtered bytes alone

 private:
  void Symbol(int symbol);
  void Bits(unsigned value, int count);
  std::vector<std::uint32_t> words_;
  std::uint64_t tail_ = 0;
  int count_ = 0;
};

// The deflate stream: one block with the fixed codes, the rows' codes one
// after the other. out: room for what the data can take, at most ten bits
// a byte (a literal is nine; a back-reference of 31 bits stands for three
// bytes or more, after a literal of its run) and a few bytes more.
class DeflateStream {
 public:
  explicit DeflateStream(unsigned char* out);
  void Append(const RowCode& row);
  // Where the data ends.
  unsigned char* End();

 private:
  void Bits(std::uint32_t value, int count);
  unsigned char* out_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

// One-bit grey PNG files, written whole from a label's dots as a cairo A1
// surface holds them (a1_dots.h; PNG: the first dot of eight in the highest
// bit, 0 for black). The labels of a print run are much alike: a row whose
// dots and the two rows above are those of the label before has the code it
// had then.
class OneBitPng {
 public:
  // notThis: a file that is never written over (the job being drawn).
  explicit OneBitPng(std::optional<FileIdentity> notThis = std::nullopt) : notThis_(notThis) {}
  // Raises PlatformError naming the file when it cannot be written whole.
  void Write(const std::string& path, const unsigned char* dots, int stride, int width, int height, int dpi);

 private:
  void Compress(const unsigned char* dots, int stride, int width, int height);
  static void Filter(const unsigned char* dots, int stride, int width, int y, std::vector<unsigned char>& out);
  void Encode(RowCode& code, bool hasAbove);
  static std::uint64_t ToPng(std::uint64_t dots);
  static std::uint64_t ByteDifference(std::uint64_t a, std::uint64_t b);
  std::size_t RunEnd(std::size_t at, std::size_t size) const;
  static void Put32(unsigned char* at, std::uint32_t v);
  void Chunk(const char* type, const unsigned char* data, std::size_t size);
  void EndChunk(std::size_t start);
  void WriteFile(const std::string& path) const;

  std::vector<unsigned char> file_, now_, before_, last_;
  std::vector<RowCode> codes_;
  int lastWidth_ = 0;
  std::optional<FileIdentity> notThis_;
};

}  // namespace imptherm::posix
