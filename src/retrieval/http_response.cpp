#include "retrieval/http_response.h"

#include <algorithm>

#include "base/text.h"
#include "platform/network_messages.h"

namespace imptherm {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A readable excerpt of what came instead of a status line.
std::string Excerpt(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, 80)) out.push_back(static_cast<unsigned char>(c) < 32 ? '?' : c);
  if (s.size() > 80) out += "...";
  return out;
}

bool ParseStatusLine(std::string_view line, ResponseHead& head) {
  if (line.size() < 12 || line.substr(0, 5) != "HTTP/") return false;
  std::size_t i = 5;
  if (!IsDigit(line[i]) || line[i + 1] != '.' || !IsDigit(line[i + 2]) || line[i + 3] != ' ') return false;
  head.major = line[i] - '0';
  head.minor = line[i + 2] - '0';
  i += 4;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i + 3 > line.size() || !IsDigit(line[i]) || !IsDigit(line[i + 1]) || !IsDigit(line[i + 2])) return false;
  if (i + 3 < line.size() && line[i + 3] != ' ') return false;
  head.status = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
  return head.status >= 100;
}

}  // namespace

std::optional<std::string> ResponseHead::Find(std::string_view name) const {
  for (const auto& [n, v] : fields)
    if (EqualNoCase(n, name)) return v;
  return std::nullopt;
}

std::vector<std::string> ResponseHead::FindAll(std::string_view name) const {
  std::vector<std::string> all;
  for (const auto& [n, v] : fields)
    if (EqualNoCase(n, name)) all.push_back(v);
  return all;
}

bool ResponseHead::HasToken(std::string_view name, std::string_view token) const {
  for (const std::string& value : FindAll(name)) {
    std::string_view rest = value;
    while (!rest.empty()) {
      auto comma = rest.find(',');
      if (EqualNoCase(TrimSpaces(rest.substr(0, comma)), token)) return true;
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return false;
}

std::optional<std::size_t> FindHeadEnd(std::string_view buffer) {
  std::size_t start = 0;
  while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n')) ++start;
  for (std::size_t i = buffer.find('\n', start); i != std::string_view::npos; i = buffer.find('\n', i + 1)) {
    if (i + 1 < buffer.size() && buffer[i + 1] == '\n') return i + 2;
    if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n') return i + 3;
  }
  return std::nullopt;
}

Parsed<ResponseHead> ParseResponseHead(std::string_view block) {
  std::size_t start = 0;
  while (start < block.size() && (block[start] == '\r' || block[start] == '\n')) ++start;
  block.remove_prefix(start);
  ResponseHead head;
  bool first = true;
  while (!block.empty()) {
    auto nl = block.find('\n');
    std::string_view line = block.substr(0, nl);
    block.remove_prefix(nl == std::string_view::npos ? block.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      first = false;
      if (!ParseStatusLine(line, head)) return ParseError{messages::UnreadableAnswer(Excerpt(line))};
      head.statusLine = line;
      continue;
    }
    if (line.empty()) break;
    if (line[0] == ' ' || line[0] == '\t') {
      if (!head.fields.empty()) {
        const std::string_view more = TrimSpaces(line);
        for (std::string* s : {&head.lines.back(), &head.fields.back().second}) s->append(1, ' ').append(more);
      }
      continue;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    head.lines.emplace_back(line);
    head.fields.emplace_back(std::string(TrimSpaces(line.substr(0, colon))),
                             std::string(TrimSpaces(line.substr(colon + 1))));
  }
  if (first) return ParseError{messages::kEmptyAnswer};
  return head;
}

Parsed<BodyFraming> FramingOf(const ResponseHead& head) {
  BodyFraming f;
  if (head.status < 200 || head.status == 204 || head.status == 304) {
    f.kind = BodyFraming::None;
    return f;
  }
  if (auto te = head.Find("Transfer-Encoding")) {
    std::string_view codings = *te;
    auto comma = codings.rfind(',');
    std::string_view last = TrimSpaces(comma == std::string_view::npos ? codings : codings.substr(comma + 1));
    if (EqualNoCase(last, "chunked")) {
      f.kind = BodyFraming::Chunked;
      return f;
    }
    return f;  // another coding: the body ends when the server closes
  }
  std::optional<std::uint64_t> length;
  for (const std::string& value : head.FindAll("Content-Length")) {
    std::string_view v = value;
    if (v.empty() || v.size() > 18) return ParseError{messages::BadContentLength(Excerpt(v))};
    std::uint64_t n = 0;
    for (char c : v) {
      if (!IsDigit(c)) return ParseError{messages::BadContentLength(Excerpt(v))};
      n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (length && *length != n) return ParseError{messages::kConflictingLengths};
    length = n;
  }
  if (length) {
    f.kind = BodyFraming::Length;
    f.length = *length;
  }
  return f;
}

bool ChunkedDecoder::Fail(const char* why) {
  state_ = State::Failed;
  error_ = ParseError{messages::BadChunkedBody(why)};
  return false;
}

bool ChunkedDecoder::TakeSizeLine() {
  std::string_view line = line_;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  line = line.substr(0, line.find(';'));
  line = TrimSpaces(line);
  if (line.empty() || line.size() > 15) return Fail("taille de fragment illisible");
  std::uint64_t n = 0;
  for (char c : line) {
    int d = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (d < 0) return Fail("taille de fragment illisible");
    n = n * 16 + static_cast<unsigned>(d);
  }
  remaining_ = n;
  state_ = n == 0 ? State::Trailer : State::Data;
  return true;
}

std::size_t ChunkedDecoder::Feed(std::string_view in, std::string& out) {
  std::size_t used = 0;
  while (used < in.size() && state_ != State::Done && state_ != State::Failed) {
    char c = in[used];
    switch (state_) {
      case State::Size:
      case State::DataEnd:
      case State::Trailer:
        ++used;
        if (state_ == State::Trailer && ++trailerBytes_ > kMaxTrailer) return Fail("fin trop longue"), used;
        if (c != '\n') {
          if (line_.size() >= kMaxLine) return Fail("ligne trop longue"), used;
          line_.push_back(c);
          break;
        }
        if (state_ == State::Size) {
          if (!TakeSizeLine()) return used;
        } else if (state_ == State::DataEnd) {
          if (!(line_.empty() || line_ == "\r")) return Fail("fin de fragment manquante"), used;
          state_ = State::Size;
        } else if (line_.empty() || line_ == "\r") {
          state_ = State::Done;
        }
        line_.clear();
        break;
      case State::Data: {
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, in.size() - used));
        out.append(in.substr(used, take));
        used += take;
        remaining_ -= take;
        if (remaining_ == 0) state_ = State::DataEnd;
        break;
      }
      default: break;
    }
  }
  return used;
}

}  // namespace imptherm
