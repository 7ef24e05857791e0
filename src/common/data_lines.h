#pragma once
#include <cstddef>
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
    if (count_ % kStride == 0) marks_.push_back(bytes_.size());
    std::size_t n = line.size();
    for (; n >= 0x80; n >>= 7) bytes_.push_back(static_cast<char>(0x80 | (n & 0x7F)));
    bytes_.push_back(static_cast<char>(n));
    bytes_.append(line);
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
    bytes_.clear();
    marks_.clear();
    count_ = 0;
    at_ = {};
  }
  // Room for the lines cut from `textBytes` bytes of text, so that the buffer
  // is never copied to grow: a length takes no more room than a line end,
  // but for lines of 128 characters and more (a byte more at most per 64).
  void reserve(std::size_t textBytes) {
    bytes_.reserve(textBytes + textBytes / 64 + 16);
    marks_.reserve(textBytes / kStride + 2);
  }
  void shrink_to_fit() {
    bytes_.shrink_to_fit();
    marks_.shrink_to_fit();
  }

 private:
  static constexpr std::size_t kStride = 64;
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

  std::string bytes_;
  std::vector<std::size_t> marks_;  // where lines 0, 64, 128, ... start
  std::size_t count_ = 0;
  mutable Place at_;
};

// The lines of one label record, cut out of the data lines.
using RecordLines = std::vector<std::string>;

}  // namespace imptherm
