#pragma once
#include <string>

namespace imptherm::win32 {

// The core's texts are Windows-1252 bytes whatever the machine's ANSI code
// page is; windows and COM want UTF-16. These convert between the two; a
// character that 1252 lacks becomes its nearest letter ("\u0142" gives "l"),
// never a '?' that would change what a URL or a path means.
std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, int length);
inline std::string Narrow(const std::wstring& text) { return Narrow(text.data(), static_cast<int>(text.size())); }

}  // namespace imptherm::win32
