#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace imptherm {

// The RFC 2045 alphabet with padding.
std::string Base64Encode(std::string_view bytes);
// Nothing when the text is not base64 (padding optional, no blanks inside).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace imptherm
