// The label data file reader, fed in pieces as the file reader feeds it.
#include <cstddef>
#include <cstdint>
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
  return 0;
}
