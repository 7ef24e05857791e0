#include "platform/win32/cp1252.h"

#include <windows.h>

namespace imptherm::win32 {
namespace {
constexpr UINT kCodePage = 1252;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const wchar_t* text, int length) {
  if (!text || length <= 0) return {};
  const int n = ::WideCharToMultiByte(kCodePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(kCodePage, 0, text, length, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

}  // namespace imptherm::win32
