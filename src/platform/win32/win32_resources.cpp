#include "platform/win32/win32_resources.h"

#include "platform/win32/cp1252.h"

namespace imptherm::win32 {

// Read through the wide call (a buffer size of 0 yields the resource's own
// text) so the texts come back as the same Windows-1252 bytes whatever the
// machine's ANSI code page is.
std::optional<std::string> Win32Resources::LoadString(int id) {
  if (id < 0 || id > 0xFFFF) return std::nullopt;
  const wchar_t* text = nullptr;
  const int n = ::LoadStringW(module_, static_cast<UINT>(id), reinterpret_cast<wchar_t*>(&text), 0);
  if (n <= 0 || !text) return std::nullopt;
  return Narrow(text, n);
}

}  // namespace imptherm::win32
