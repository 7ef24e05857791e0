#pragma once
#include <string>
#include <string_view>

namespace imptherm::bridge {

// A line of the bridge log (UTF-8) with every control made visible as \xNN:
// C0 controls, DEL, the C1 controls written in UTF-8 (C2 80..C2 9F) and any
// byte that is not part of a UTF-8 character (a lone 0x9B is a terminal's
// escape too). What a request brings can then never start a line of its own.
std::string VisibleLogText(std::string_view text);

}  // namespace imptherm::bridge
