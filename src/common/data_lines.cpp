#include "common/data_lines.h"

namespace imptherm {
namespace {

// Deferred text is cut this much at a time: a thread waiting for the next
// line never waits long, and a record of any length is cut once.
constexpr std::size_t kCutBlock = 64 * 1024;

}  // namespace

void DataLines::Defer(LargeBuffer text, std::size_t size, std::size_t at, LineSplitter splitter) {
  deferred_ = std::make_unique<Deferred>(Deferred{std::move(text), size, at, std::move(splitter)});
}

void DataLines::CutUntil(std::size_t i) const {
  auto take = [this](std::string_view line) { Append(line); };
  while (deferred_ && count_ <= i) {
    Deferred& d = *deferred_;
    const std::size_t n = std::min(kCutBlock, d.size - d.at);
    // Ctrl-Z ends the text where it stands; otherwise the end of the text
    // ends its last line.
    const bool open = d.splitter.Feed(std::string_view(d.text.data() + d.at, n), take);
    d.at += n;
    if (open && d.at < d.size) continue;
    if (open) d.splitter.Finish(take);
    deferred_.reset();
  }
}

}  // namespace imptherm
