#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "base/large_buffer.h"
#include "common/data_lines.h"
#include "common/line_splitter.h"
#include "common/run_options.h"

namespace imptherm {

// Reads the header of the label data file and keeps the data lines. Fed line
// by line.
class LabelDataReader {
 public:
  void TakeLine(std::string_view line) {
    if (index_ < kHeaderLines) return TakeHeaderLine(line);
    if (!refused_) lines_.push_back(line);
  }
  const LabelFileHeader& header() const { return header_; }
  // Whether the first line named a label document.
  bool refused() const { return refused_; }
  // Whether the three required header lines were all there.
  bool headerComplete() const { return index_ >= 3; }
  // Whether the lines to come are data lines.
  bool headerRead() const { return index_ >= kHeaderLines; }
  DataLines& lines() { return lines_; }

 private:
  static constexpr std::size_t kHeaderLines = 4;
  void TakeHeaderLine(std::string_view line);
  LabelFileHeader header_;
  std::size_t index_ = 0;  // counted up to the header's end
  bool refused_ = false;
  DataLines lines_;
};

struct LabelFileResult {
  bool accepted = false;  // a known document with its whole header
  DataLines lines;
  LabelFileHeader header;  // as far as the file reached
};
// Reads the label data file at `path` whole, and its header; its data lines
// are cut as they are read (DataLines::Defer). Raises PlatformError when the
// file cannot be opened or read.
LabelFileResult ReadLabelDataFile(const std::string& path);
// The same over the first `size` bytes of `text`.
LabelFileResult ReadLabelDataLazily(LargeBuffer text, std::size_t size);
// The same over bytes already in memory, every line cut at once.
LabelFileResult ReadLabelData(std::string_view bytes);

}  // namespace imptherm
