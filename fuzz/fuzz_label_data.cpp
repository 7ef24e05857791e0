// The label data reader, fed in pieces, and the file reader's lines cut as
// they are read, against the input cut at once.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "retrieval/label_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto a = imptherm::ReadLabelData(input);
  imptherm::LabelDataReader reader;
  imptherm::LineSplitter splitter;
  auto take = [&](std::string_view line) { reader.TakeLine(line); };
  bool open = true;
  for (std::size_t i = 0; i < input.size() && open; i += 3) open = splitter.Feed(input.substr(i, 3), take);
  if (open) splitter.Finish(take);
  // Cutting the input differently must not change the header or the lines.
  if (!(reader.header() == a.header)) __builtin_trap();
  if (!reader.refused() && reader.headerComplete()) {
    if (reader.lines().size() != a.lines.size()) __builtin_trap();
    for (std::size_t i = 0; i < a.lines.size(); ++i)
      if (reader.lines()[i] != a.lines[i]) __builtin_trap();
  }
  imptherm::LargeBuffer text(size);
  if (size > 0) std::memcpy(text.data(), data, size);
  const auto lazy = imptherm::ReadLabelDataLazily(std::move(text), size);
  if (lazy.accepted != a.accepted || !(lazy.header == a.header)) __builtin_trap();
  for (std::size_t i = 0; i < a.lines.size(); ++i)
    if (!lazy.lines.Reaches(i) || lazy.lines[i] != a.lines[i]) __builtin_trap();
  if (lazy.lines.Reaches(a.lines.size())) __builtin_trap();
  return 0;
}
