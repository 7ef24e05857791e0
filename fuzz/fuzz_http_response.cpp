// The answer parser: status line and header block, framing, chunked bodies,
// and the scheme choice over Proxy-Authenticate values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "retrieval/http_response.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto end = imptherm::FindHeadEnd(input);
  const std::string_view head = input.substr(0, end.value_or(input.size()));
  auto parsed = imptherm::ParseResponseHead(head);
  if (const imptherm::ResponseHead* h = parsed ? &*parsed : nullptr) {
    (void)imptherm::FramingOf(*h);
    (void)h->FindAll("Proxy-Authenticate");
    (void)h->HasToken("Connection", "keep-alive");
  }
  // The rest as a chunked body, in uneven pieces.
  std::string_view body = end ? input.substr(*end) : input;
  imptherm::ChunkedDecoder decoder;
  std::string out;
  for (std::size_t i = 0, piece = 1; i < body.size() && !decoder.done() && !decoder.error();
       i += piece, piece = piece * 3 % 17 + 1)
    decoder.Feed(body.substr(i, piece), out);
  return 0;
}
