#pragma once
#include <string>
#include <string_view>

namespace imptherm::bridge {

// The core's texts are Windows-1252; JSON is UTF-8. These conversions are the
// bridge's own so that it builds on every platform without a backend.
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters that Windows-1252 cannot hold become '?'; `text` must be valid
// UTF-8 (the JSON parser has checked it).
std::string Utf8ToCp1252(std::string_view text);

}  // namespace imptherm::bridge
