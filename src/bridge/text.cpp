#include "bridge/text.h"

#include <algorithm>
#include <cstdint>

#include "base/text.h"

namespace imptherm::bridge {
namespace {

// 0x80..0x9F of Windows-1252; 0 where the code page has no character.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char ToCp1252(std::uint32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] != 0 && kHigh[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

// The length of the UTF-8 character at the start of `s`, 0 when `s` does not
// start with one (a stray continuation byte, a cut or overlong sequence).
std::size_t Utf8Length(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = 0;
  std::uint32_t c = 0;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto cont = static_cast<unsigned char>(s[i]);
    if ((cont & 0xC0) != 0x80) return 0;
    c = (c << 6) | (cont & 0x3F);
  }
  if ((n == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (n == 4 && (c < 0x10000 || c > 0x10FFFF))) return 0;
  return n;
}

}  // namespace

std::string VisibleLogText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t n = Utf8Length(text.substr(i));
    const bool c0 = n == 1 && (b < 0x20 || b == 0x7F);
    const bool c1 = n == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    const std::size_t length = std::max<std::size_t>(n, 1);  // a stray byte alone
    if (n == 0 || c0 || c1) {
      for (std::size_t k = 0; k < length; ++k) AppendByteCode(out, static_cast<unsigned char>(text[i + k]));
    } else {
      out.append(text.substr(i, n));
    }
    i += length;
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    if (b >= 0x80 && b < 0xA0)
      AppendUtf8(out, kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xFFFD);
    else
      AppendUtf8(out, b);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    std::uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
    std::size_t j = i + 1;
    for (; j < text.size() && j <= i + static_cast<std::size_t>(extra); ++j)
      c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    out += ToCp1252(c);
    i = j;
  }
  return out;
}

}  // namespace imptherm::bridge
