#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/parsed.h"

namespace imptherm {

// The status line and header block of an answer may not exceed this.
constexpr std::size_t kMaxResponseHead = 64 * 1024;

struct ResponseHead {
  std::string statusLine;  // as received, without its line end
  int major = 1, minor = 0;
  int status = 0;
  std::vector<std::string> lines;                           // header lines as received
  std::vector<std::pair<std::string, std::string>> fields;  // name, trimmed value

  // The value of the first field of that name (any letter case).
  std::optional<std::string> Find(std::string_view name) const;
  std::vector<std::string> FindAll(std::string_view name) const;
  // Whether a comma-separated field of that name holds the token.
  bool HasToken(std::string_view name, std::string_view token) const;
};

// Where the head ends in `buffer` (just after the empty line), or nothing
// while it is incomplete. Blank lines before the status line are skipped as
// browsers do.
std::optional<std::size_t> FindHeadEnd(std::string_view buffer);

// Parses a complete head (status line, header lines, empty line). A status
// line that is not "HTTP/x.y nnn ..." is an error; header lines without a
// colon are ignored; folded lines continue the field before them.
Parsed<ResponseHead> ParseResponseHead(std::string_view head);

// How the body of an answer is delimited.
struct BodyFraming {
  enum Kind { None, Length, Chunked, UntilClose } kind = UntilClose;
  std::uint64_t length = 0;
};
// None for 1xx, 204 and 304; chunked when the last transfer coding says so;
// else the Content-Length, which must be one decimal number (repeated
// copies must agree); else until the server closes.
Parsed<BodyFraming> FramingOf(const ResponseHead& head);

// Decodes a chunked body as it arrives, in bounded memory: the size lines
// and the trailer are limited, the chunk data passes straight through.
class ChunkedDecoder {
 public:
  static constexpr std::size_t kMaxLine = 4096;
  static constexpr std::size_t kMaxTrailer = kMaxResponseHead;

  // Consumes what it can of `in`, appending the data to `out`; returns how
  // many bytes of `in` it used (fewer than all only once done()). Raises
  // nothing: a malformed body sets error().
  std::size_t Feed(std::string_view in, std::string& out);
  bool done() const { return state_ == State::Done; }
  const std::optional<ParseError>& error() const { return error_; }

 private:
  enum class State { Size, Data, DataEnd, Trailer, Done, Failed };
  bool Fail(const char* why);
  bool TakeSizeLine();
  State state_ = State::Size;
  std::string line_;
  std::uint64_t remaining_ = 0;
  std::size_t trailerBytes_ = 0;
  std::optional<ParseError> error_;
};

}  // namespace imptherm
