#pragma once
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace imptherm {

// The label data lines of one print run. A line never holds a line end, so
// the lines are kept back to back in one buffer, each followed by '\n', and
// only every 64th line's place is noted: a file of a hundred million empty
// lines costs one byte a line and a little over, not a string or an offset
// a line. Lines read in order (as the grouping reads them) are found from
// the one before; any other line from the nearest noted place.
class DataLines {
 public:
  // `line` holds no '\n' (the label data reader cuts lines at every line end).
  void push_back(std::string_view line) {
    if (count_ % kStride == 0) marks_.push_back(bytes_.size());
    bytes_.append(line);
    bytes_.push_back('\n');
    ++count_;
  }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::string_view operator[](std::size_t i) const {
    if (i != at_.index) {
      const bool next = i == at_.index + 1 && at_.index < count_;
      std::size_t from = next ? at_.end + 1 : marks_[i / kStride];
      for (std::size_t k = next ? i : i - i % kStride; k < i; ++k) from = EndOf(from) + 1;
      at_ = {i, from, EndOf(from)};
    }
    return std::string_view(bytes_).substr(at_.start, at_.end - at_.start);
  }
  void clear() {
    bytes_.clear();
    marks_.clear();
    count_ = 0;
    at_ = {};
  }
  // Room for lines cut from `textBytes` bytes of text, so that the buffer is
  // never copied to grow: they take at most one byte more than the text.
  void reserve(std::size_t textBytes) {
    bytes_.reserve(textBytes + 1);
    marks_.reserve(textBytes / kStride + 2);
  }
  void shrink_to_fit() {
    bytes_.shrink_to_fit();
    marks_.shrink_to_fit();
  }

 private:
  static constexpr std::size_t kStride = 64;
  std::size_t EndOf(std::size_t from) const {
    const void* end = std::memchr(bytes_.data() + from, '\n', bytes_.size() - from);
    return static_cast<std::size_t>(static_cast<const char*>(end) - bytes_.data());
  }

  std::string bytes_;
  std::vector<std::size_t> marks_;  // where lines 0, 64, 128, ... start
  std::size_t count_ = 0;
  // The line read last (none yet: an index past every line).
  struct Place {
    std::size_t index = static_cast<std::size_t>(-1), start = 0, end = 0;
  };
  mutable Place at_;
};

// The lines of one label record, cut out of the data lines.
using RecordLines = std::vector<std::string>;

}  // namespace imptherm
