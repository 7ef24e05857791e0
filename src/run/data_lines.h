#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace imptherm {

// The label data lines of one print run, stored back to back in one buffer
// so that a file of millions of short lines costs little more than its size.
class DataLines {
 public:
  void push_back(std::string_view line) {
    starts_.push_back(bytes_.size());
    bytes_.append(line);
  }
  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  std::string_view operator[](std::size_t i) const {
    std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] : bytes_.size();
    return std::string_view(bytes_).substr(starts_[i], end - starts_[i]);
  }
  void clear() {
    bytes_.clear();
    starts_.clear();
  }
  void shrink_to_fit() {
    bytes_.shrink_to_fit();
    starts_.shrink_to_fit();
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> starts_;
};

// The lines of one label record, cut out of the data lines.
using RecordLines = std::vector<std::string>;

}  // namespace imptherm
