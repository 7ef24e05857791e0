#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/large_buffer.h"
#include "common/line_splitter.h"

namespace imptherm {

// The label data lines of one print run, kept back to back in one buffer,
// each behind its length (one byte up to 127 characters, a byte more per 7
// bits beyond), with only every 64th line's place noted: a file of a hundred
// million empty lines costs one byte a line and a little over, not a string
// or an offset a line. Lines read in order (as the grouping reads them) are
// found from the one before; any other line from the nearest noted place.
//
// The lines of a text may also be cut only as far as they are read (Defer):
// reading line i cuts the text up to it, a block at a time, and asking for
// the size cuts the rest. The thermal jobs begin with the first records
// while their own thread cuts the next ones. Reading changes the object
// then, so only one thread at a time may read it.
class DataLines {
 public:
  DataLines() = default;
  DataLines(DataLines&&) noexcept = default;
  DataLines& operator=(DataLines&&) noexcept = default;
  // A copy takes the room its lines fill, no more, and has them all cut.
  DataLines(const DataLines& other) : count_(other.size()) {
    bytes_ = other.bytes_.Resized(other.used_, other.used_);
    used_ = other.used_;
    marks_ = other.marks_;
  }
  DataLines& operator=(const DataLines& other) {
    if (this != &other) *this = DataLines(other);
    return *this;
  }

  void push_back(std::string_view line) { Append(line); }
  // The lines of `text` (its first `size` bytes) from `at` on, after what
  // `splitter` took of the bytes before, are cut as they are read; they come
  // after the lines there are, and no line is pushed after them.
  void Defer(LargeBuffer text, std::size_t size, std::size_t at, LineSplitter splitter);

  std::size_t size() const {
    if (deferred_) CutUntil(static_cast<std::size_t>(-1));
    return count_;
  }
  bool empty() const { return !Reaches(0); }
  // Whether there is a line `i`; the text is cut no further than to it.
  bool Reaches(std::size_t i) const {
    if (i >= count_ && deferred_) CutUntil(i);
    return i < count_;
  }
  std::string_view operator[](std::size_t i) const {
    if (i >= count_ && deferred_) CutUntil(i);
    if (i != at_.index) {
      const bool next = at_.index < count_ && i == at_.index + 1;
      std::size_t from = next ? at_.end : marks_[i / kStride];
      for (std::size_t k = next ? i : i - i % kStride; k < i; ++k) from = Read(from).end;
      at_ = Read(from);
      at_.index = i;
    }
    return std::string_view(bytes_.data() + at_.start, at_.end - at_.start);
  }
  void clear() {
    deferred_.reset();
    used_ = 0;
    marks_.clear();
    count_ = 0;
    at_ = {};
  }
  // Room for the lines cut from `textBytes` bytes of text, so that the buffer
  // is never copied to grow: a length takes no more room than a line end,
  // but for lines of 128 characters and more (a byte more at most per 64).
  void reserve(std::size_t textBytes) {
    Grow(textBytes + textBytes / 64 + kMostLengthBytes + kStep);
    marks_.reserve(textBytes / kStride + 2);
  }

 private:
  static constexpr std::size_t kStride = 64;
  static constexpr std::size_t kMostLengthBytes = (sizeof(std::size_t) * 8 + 6) / 7;
  // Room is added at least this much at a time.
  static constexpr std::size_t kStep = 64 * 1024;
  // Room for `size` bytes in all, kept when there is as much already; a
  // buffer that grows at least doubles, so that each byte is copied about
  // once more at most.
  void Grow(std::size_t size) const {
    if (size > bytes_.size()) bytes_ = bytes_.Resized(std::max(size, 2 * bytes_.size()), used_);
  }
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
      const auto byte = static_cast<unsigned char>(bytes_.data()[from++]);
      n |= static_cast<std::size_t>(byte & 0x7F) << shift;
      if (byte < 0x80) break;
    }
    return {0, from, from + n};
  }
  // Adds a line; also while the deferred text is cut, under const.
  void Append(std::string_view line) const {
    if (count_ % kStride == 0) marks_.push_back(used_);
    std::size_t n = line.size();
    if (bytes_.size() - used_ < n + kMostLengthBytes) Grow(used_ + n + kMostLengthBytes + kStep);
    char* out = bytes_.data() + used_;
    for (; n >= 0x80; n >>= 7) *out++ = static_cast<char>(0x80 | (n & 0x7F));
    *out++ = static_cast<char>(n);
    Copy(out, line);
    used_ = static_cast<std::size_t>(out - bytes_.data()) + line.size();
    ++count_;
  }
  // Cuts the deferred text until there is a line `i` or no text is left.
  void CutUntil(std::size_t i) const;

  // The text whose lines are cut as they are read.
  struct Deferred {
    LargeBuffer text;
    std::size_t size = 0, at = 0;
    LineSplitter splitter;
  };

  // Reading cuts deferred text into the lines, so everything below changes
  // under const. The room is made ahead, so that a line is written without
  // a call; the lines fill it up to `used_`.
  mutable LargeBuffer bytes_;
  mutable std::size_t used_ = 0;
  mutable std::vector<std::size_t> marks_;  // where lines 0, 64, 128, ... start
  mutable std::size_t count_ = 0;
  mutable Place at_;
  mutable std::unique_ptr<Deferred> deferred_;  // none once every line is cut
};

// The lines of one label record, cut out of the data lines.
using RecordLines = std::vector<std::string>;

}  // namespace imptherm
