#include "base/text.h"

#include <cstdint>

namespace imptherm {

std::string TrimLeftBlanks(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return std::string(s.substr(b));
}

std::string TrimRightBlanks(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return std::string(s.substr(0, e));
}

std::string TrimBlanks(std::string_view s) { return TrimLeftBlanks(TrimRightBlanks(s)); }

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

void AppendByteCode(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789abcdef";
  out.append("\\x").push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 15]);
}

std::string VisibleControls(std::string_view s, bool eightBitControls) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte != 127 && !(eightBitControls && byte >= 0x80 && byte < 0xA0)) {
      out.push_back(c);
      continue;
    }
    AppendByteCode(out, byte);
  }
  return out;
}

std::optional<int> ParseDecimal(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    value = value * 10 + (s[i] - '0');
    if (value > INT32_MAX + std::int64_t{1}) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace imptherm
