// Set-Cookie and Set-Cookie2 values, then the Cookie header they give.
#include <cstddef>
#include <cstdint>
#include <string>

#include "retrieval/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  imptherm::CookieStore store;
  // Lines: a value each; a first byte of '2' makes it a Set-Cookie2 value.
  while (!input.empty()) {
    auto nl = input.find('\n');
    std::string_view line = input.substr(0, nl);
    input.remove_prefix(nl == std::string_view::npos ? input.size() : nl + 1);
    bool v2 = !line.empty() && line[0] == '2';
    store.Receive(line, v2, "www.example.com", "/app/get.asp", line);
  }
  (void)store.HeaderFor("www.example.com", "/app/x");
  (void)store.HeaderFor("example.com", "/");
  (void)imptherm::ParseCookieDate(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
