#include "bridge/text.h"

#include <algorithm>

#include "base/cp1252.h"
#include "base/text.h"

namespace imptherm::bridge {
namespace {

// The length of the UTF-8 character at the start of `s`, 0 when `s` does not
// start with one (a stray continuation byte, a cut or overlong sequence).
std::size_t Utf8Length(std::string_view s) {
  std::size_t n = 0;
  return DecodeUtf8(s, n) ? n : 0;
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

}  // namespace imptherm::bridge
