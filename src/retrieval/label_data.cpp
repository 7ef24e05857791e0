#include "retrieval/label_data.h"

#include <algorithm>
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

LabelFileResult ReadLabelDataLazily(LargeBuffer text, std::size_t size) {
  LabelDataReader reader;
  reader.lines().reserve(size);
  LineSplitter splitter;
  auto take = [&](std::string_view line) { reader.TakeLine(line); };
  // The header a little at a time, so that no more than it and a few data
  // lines are cut here.
  constexpr std::size_t kHeaderBlock = 256;
  std::size_t at = 0;
  bool open = true;
  const std::string_view bytes(text.data(), size);
  while (open && at < size && !reader.refused() && !reader.headerRead()) {
    const std::size_t end = PieceEnd(bytes, at, kHeaderBlock);
    open = splitter.Feed(bytes.substr(at, end - at), take);
    at = end;
  }
  if (open && at == size) splitter.Finish(take);
  if (open && at < size && !reader.refused()) {
    text.Release(at);
    reader.lines().Defer(std::move(text), size, at, std::move(splitter));
  }
  return Finish(reader);
}

LabelFileResult ReadLabelDataFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) throw PlatformError("cannot open " + path + ": " + std::strerror(errno));
  // The whole file is read before anything of it is printed. Room for its
  // size and a byte, to see it end; a file that grows meanwhile gets more.
  std::size_t room = 64 * 1024;
  if (std::fseek(f.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(f.get());
    if (size > 0) room = static_cast<std::size_t>(size) + 1;
    std::rewind(f.get());
  }
  LargeBuffer text(room);
  std::size_t size = 0;
  for (;;) {
    if (size == text.size()) text = text.Resized(2 * text.size(), size);
    const std::size_t n = std::fread(text.data() + size, 1, text.size() - size, f.get());
    if (n == 0) {
      if (std::ferror(f.get())) throw PlatformError("cannot read " + path + ": " + std::strerror(errno));
      break;
    }
    size += n;
  }
  return ReadLabelDataLazily(std::move(text), size);
}

}  // namespace imptherm
