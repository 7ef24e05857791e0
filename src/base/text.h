#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace imptherm {

// Blanks are spaces and control characters: every byte up to 32.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string TrimBlanks(std::string_view s);
std::string TrimRightBlanks(std::string_view s);
std::string TrimLeftBlanks(std::string_view s);

// Upper- or lower-cases the ASCII letters only; every other byte stays as it is.
std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);

// The text with every control byte (below 32, and DEL) written as \xNN, so
// that what a server or a page sent shows as one line and cannot steer a
// terminal. Bytes from 128 up are Windows-1252 letters and stay as they are,
// unless eightBitControls: then 0x80 to 0x9F are written as \xNN too, for
// text of no known code page that goes to a terminal (0x9B is ESC [ there).
std::string VisibleControls(std::string_view s, bool eightBitControls = false);
// Appends `byte` as \xNN, the way VisibleControls writes what they hide.
void AppendByteCode(std::string& out, unsigned char byte);

// A decimal integer: leading blanks, an optional sign, then digits up to the
// very end of the text; within the 32-bit range. Anything else is nothing.
std::optional<int> ParseDecimal(std::string_view s);

}  // namespace imptherm
