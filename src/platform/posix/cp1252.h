#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace imptherm::posix {

// Appends the UTF-8 form of a code point; surrogates and values beyond
// Unicode become U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// Windows-1252 bytes to UTF-8, for what a person reads on the terminal. The
// five unassigned bytes show as U+FFFD.
std::string Cp1252ToUtf8(std::string_view bytes);

// The Windows-1252 byte of a Unicode code point; nothing when it has none.
std::optional<char> CodePointToCp1252(char32_t cp);

// Text typed on a UTF-8 terminal or read from a UTF-8 page, turned into the
// system's Windows-1252 bytes (characters it cannot hold become '?'). Text
// that is not valid UTF-8 is taken to be Windows-1252 already.
std::string Utf8ToCp1252(std::string_view text);

// Decodes one UTF-8 sequence at `pos`; nothing when the bytes are not valid.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos);

}  // namespace imptherm::posix
