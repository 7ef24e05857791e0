#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace imptherm {

// The label data lines of one print run, kept back to back in one buffer,
// each behind its length (one byte up to 127 characters, a byte more per 7
// bits beyond), with only every 64th line's place noted: a file of a hundred
// million empty lines costs one byte a line and a little over, not a string
// or an offset a line. Lines read in order (as the grouping reads them) are
// found from the one before; any other line from the nearest noted place.
class DataLines {
 public:
  void push_back(std::string_view line) {
    if (count_ % kStride == 0) marks_.push_back(used_);
    std::size_t n = line.size();
    if (bytes_.size() - used_ < n + kMostLengthBytes) bytes_.resize(used_ + n + kMostLengthBytes + kStep);
    char* out = bytes_.data() + used_;
    for (; n >= 0x80; n >>= 7) *out++ = static_cast<char>(0x80 | (n & 0x7F));
    *out++ = static_cast<char>(n);
    Copy(out, line);
    used_ = static_cast<std::size_t>(out - bytes_.data()) + line.size();
    ++count_;
  }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::string_view operator[](std::size_t i) const {
    if (i != at_.index) {
      const bool next = at_.index < count_ && i == at_.index + 1;
      std::size_t from = next ? at_.end : marks_[i / kStride];
      for (std::size_t k = next ? i : i - i % kStride; k < i; ++k) from = Read(from).end;
      at_ = Read(from);
      at_.index = i;
    }
    return std::string_view(bytes_).substr(at_.start, at_.end - at_.start);
  }
  void clear() {
    used_ = 0;
    marks_.clear();
    count_ = 0;
    at_ = {};
  }
  // Room for the lines cut from `textBytes` bytes of text, so that the buffer
  // is never copied to grow: a length takes no more room than a line end,
  // but for lines of 128 characters and more (a byte more at most per 64).
  void reserve(std::size_t textBytes) {
    bytes_.reserve(textBytes + textBytes / 64 + kMostLengthBytes + kStep);
    marks_.reserve(textBytes / kStride + 2);
  }
  void shrink_to_fit() {
    bytes_.resize(used_);
    bytes_.shrink_to_fit();
    marks_.shrink_to_fit();
  }

 private:
  static constexpr std::size_t kStride = 64;
  static constexpr std::size_t kMostLengthBytes = (sizeof(std::size_t) * 8 + 6) / 7;
  // The buffer is made ready this much at a time: memory that no line
  // reaches is never touched.
  static constexpr std::size_t kStep = 64 * 1024;
  // Most lines are short: they are copied in two overlapping words rather
  // than through a call.
  static void Copy(char* out, std::string_view line) {
    const char* in = line.data();
    const std::size_t n = line.size();
    if (n >= 8 && n <= 16) {
      std::uint64_t head, tail;
      std::memcpy(&head, in, 8);
      std::memcpy(&tail, in + n - 8, 8);
      std::memcpy(out, &head, 8);
      std::memcpy(out + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
      std::uint32_t head, tail;
      std::memcpy(&head, in, 4);
      std::memcpy(&tail, in + n - 4, 4);
      std::memcpy(out, &head, 4);
      std::memcpy(out + n - 4, &tail, 4);
    } else if (n > 0 && n < 4) {
      out[0] = in[0];
      out[n / 2] = in[n / 2];
      out[n - 1] = in[n - 1];
    } else if (n > 16) {
      std::memcpy(out, in, n);
    }
  }
  // The line read last (none yet: an index past every line).
  struct Place {
    std::size_t index = static_cast<std::size_t>(-1), start = 0, end = 0;
  };
  // The line whose length starts at `from`.
  Place Read(std::size_t from) const {
    std::size_t n = 0;
    for (int shift = 0;; shift += 7) {
      const auto byte = static_cast<unsigned char>(bytes_[from++]);
      n |= static_cast<std::size_t>(byte & 0x7F) << shift;
      if (byte < 0x80) break;
    }
    return {0, from, from + n};
  }

  // Made ready ahead, so that a line is written without a call; the lines
  // fill it up to `used_`, the rest is room.
  std::string bytes_;
  std::size_t used_ = 0;
  std::vector<std::size_t> marks_;  // where lines 0, 64, 128, ... start
  std::size_t count_ = 0;
  mutable Place at_;
};

// The lines of one label record, cut out of the data lines.
using RecordLines = std::vector<std::string>;

}  // namespace imptherm
