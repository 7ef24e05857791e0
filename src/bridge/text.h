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
// A line of the bridge log (UTF-8) with every control made visible as \xNN:
// C0 controls, DEL, the C1 controls written in UTF-8 (C2 80..C2 9F) and any
// byte that is not part of a UTF-8 character (a lone 0x9B is a terminal's
// escape too). What a request brings can then never start a line of its own.
std::string VisibleLogText(std::string_view text);

}  // namespace imptherm::bridge
