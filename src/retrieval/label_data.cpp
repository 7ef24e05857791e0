#include "retrieval/label_data.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/text.h"
#include "platform/error.h"

namespace imptherm {

void LabelDataReader::TakeHeaderLine(std::string_view line) {
  if (refused_) return;
  switch (index_) {
    case 0: {
      const std::string kind = UpperAscii(line);
      if (kind != "ETIQUETTES" && kind != "ETIQUETTESBAG") {
        refused_ = true;
        return;
      }
      header_.BaggageMode = kind == "ETIQUETTESBAG";
      break;
    }
    case 1: header_.HeaderText = std::string(line.substr(0, 30)); break;
    case 2:
      header_.LanguageCode = UpperAscii(line);
      header_.CaptionBase = header_.LanguageCode == "EN"   ? 1000
                            : header_.LanguageCode == "ES" ? 2000
                            : header_.LanguageCode == "IT" ? 3000
                                                           : 0;
      break;
    case 3:
      if (!line.empty() && line[0] != '{') {
        header_.HeaderFlag = UpperAscii(line) == "Y";
        break;
      }
      lines_.push_back(line);
      break;
  }
  ++index_;
}

namespace {

LabelFileResult Finish(LabelDataReader& reader) {
  LabelFileResult r;
  r.accepted = !reader.refused() && reader.headerComplete();
  r.header = reader.header();
  // The room reserved for the lines stays: what was never written costs no
  // memory, and giving it back would copy every line once more.
  if (r.accepted) r.lines = std::move(reader.lines());
  return r;
}

}  // namespace

LabelFileResult ReadLabelData(std::string_view bytes) {
  LabelDataReader reader;
  reader.lines().reserve(bytes.size());
  LineSplitter splitter;
  auto take = [&](std::string_view line) { reader.TakeLine(line); };
  if (splitter.Feed(bytes, take)) splitter.Finish(take);
  return Finish(reader);
}

LabelFileResult ReadLabelDataFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) throw PlatformError("cannot open " + path + ": " + std::strerror(errno));
  LabelDataReader reader;
  // Where the file's size can be told, the lines never have to be copied to grow.
  if (std::fseek(f.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(f.get());
    if (size > 0) reader.lines().reserve(static_cast<std::size_t>(size));
    std::rewind(f.get());
  }
  LineSplitter splitter;
  auto take = [&](std::string_view line) { reader.TakeLine(line); };
  std::string block(64 * 1024, '\0');
  for (;;) {
    std::size_t n = std::fread(block.data(), 1, block.size(), f.get());
    if (n == 0) {
      if (std::ferror(f.get())) throw PlatformError("cannot read " + path + ": " + std::strerror(errno));
      splitter.Finish(take);
      break;
    }
    if (!splitter.Feed(std::string_view(block.data(), n), take)) break;
    if (reader.refused()) break;
  }
  return Finish(reader);
}

}  // namespace imptherm
