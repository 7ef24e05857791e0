// Any page must parse without crashing, and every value must come out as
// single-byte text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cli/html_params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  (void)imptherm::cli::ParsePageParameters(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
