#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace imptherm {

// The system's texts are Windows-1252 bytes; terminals, PDF metadata, fonts
// and JSON want UTF-8. One table serves every host and backend.

// Appends the UTF-8 form of a code point; surrogates and values beyond
// Unicode become U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// Windows-1252 bytes to UTF-8. The five unassigned bytes (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become U+FFFD.
std::string Cp1252ToUtf8(std::string_view bytes);

// The Windows-1252 byte of a Unicode code point; nothing when it has none.
std::optional<char> CodePointToCp1252(char32_t cp);

// UTF-8 text (typed on a terminal, read from a page or a JSON body) turned
// into Windows-1252 bytes; characters it cannot hold become '?'. Text that is
// not valid UTF-8 is taken to be Windows-1252 already and comes back as it is.
std::string Utf8ToCp1252(std::string_view text);

// Decodes one UTF-8 sequence at `pos` and moves past it; nothing (and `pos`
// unmoved) when the bytes there are not a valid, shortest-form character.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos);

}  // namespace imptherm
