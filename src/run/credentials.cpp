#include "run/credentials.h"

#include <cstddef>

#include "base/text.h"
#include "credential_key_table.h"

namespace imptherm {
namespace {

constexpr int kRowLength = 40;
static_assert(sizeof(kCredentialKeyTable) == 10 * kRowLength + 1, "the key table holds 400 letters");

// The key byte for clear character i (counted from 1; i >= 2) on row r (1-10).
// Column i mod 40 of the row, where column 0 falls on the letter just before
// the row (the previous row's last letter, or before the table on row 1).
unsigned char KeyByte(int row, std::size_t i) {
  const int column = static_cast<int>(i % kRowLength);
  const int flat = kRowLength * (row - 1) + column;  // counted from 1
  return flat >= 1 ? static_cast<unsigned char>(kCredentialKeyTable[flat - 1]) : 0;
}

int RowOf(unsigned char first) { return first % 10 + 1; }

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string DescrambleCredential(const std::string& scrambled) {
  const std::string hex = UpperAscii(scrambled);
  std::string clear;
  for (std::size_t p = 0; p + 1 < hex.size(); p += 2)
    clear.push_back(static_cast<char>(HexDigitValue(hex[p]) * 16 + HexDigitValue(hex[p + 1])));
  if (clear.empty()) return clear;
  const auto first = static_cast<unsigned char>(static_cast<unsigned char>(clear[0]) + 10);
  clear[0] = static_cast<char>(first);
  const int row = RowOf(first);
  for (std::size_t i = 2; i <= clear.size(); ++i) clear[i - 1] = static_cast<char>(clear[i - 1] ^ KeyByte(row, i));
  return clear;
}

std::string ScrambleCredential(const std::string& clear) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  if (clear.empty()) return out;
  const auto first = static_cast<unsigned char>(clear[0]);
  const int row = RowOf(first);
  for (std::size_t i = 1; i <= clear.size(); ++i) {
    const auto c = static_cast<unsigned char>(clear[i - 1]);
    const unsigned char b =
        i == 1 ? static_cast<unsigned char>(c - 10) : static_cast<unsigned char>(c ^ KeyByte(row, i));
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

}  // namespace imptherm
