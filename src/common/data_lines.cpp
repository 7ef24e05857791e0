#include "common/data_lines.h"

namespace imptherm {
namespace {

// Deferred text is cut about this much at a time: a thread waiting for the
// next line never waits long, and a record of any length is cut once.
constexpr std::size_t kCutBlock = 64 * 1024;

}  // namespace

void DataLines::Defer(LargeBuffer text, std::size_t size, std::size_t at, LineSplitter splitter) {
  deferred_ = std::make_unique<Deferred>(Deferred{std::move(text), size, at, std::move(splitter)});
}

void DataLines::CutUntil(std::size_t i) const {
  auto take = [this](std::string_view line) { Append(line); };
  while (deferred_ && count_ <= i) {
    Deferred& d = *deferred_;
    // Up to a line end, so that a line is taken straight from the text, not
    // gathered: a line of the whole file is held twice, not three times.
    const std::string_view text(d.text.data(), d.size);
    const std::size_t end = PieceEnd(text, d.at, kCutBlock);
    if (end < d.size || EndsLine(text.back())) {
      // Ctrl-Z ends the text where it stands; otherwise the end of the text
      // ends its last line.
      const bool open = d.splitter.Feed(text.substr(d.at, end - d.at), take);
      d.at = end;
      // The text cut is given back as the lines are made, so that text and
      // lines together stay near the size of the text.
      d.text.Release(d.at);
      if (open && d.at < d.size) continue;
      if (open) d.splitter.Finish(take);
    } else {
      // The last line runs to the end of the text, and PieceEnd found no
      // line end from the piece's least end on: the line ends are before it.
      std::size_t tail = std::min(d.size, d.at + kCutBlock);
      while (tail > d.at && !EndsLine(text[tail - 1])) --tail;
      if (d.splitter.Feed(text.substr(d.at, tail - d.at), take)) d.splitter.Finish(take, text.substr(tail));
    }
    deferred_.reset();
  }
}

}  // namespace imptherm
