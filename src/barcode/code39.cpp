#include "barcode/code39.h"

#include <array>

namespace imptherm {
namespace {

constexpr std::string_view kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
// Nine elements per character, bar first: 1 a wide element.
constexpr std::array<std::string_view, 44> kPatterns = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000", "000100101", "100100100",
    "001100100", "100001001", "001001001", "101001000", "000011001", "100011000", "001011000", "000001101", "100001100",
    "001001100", "000011100", "100000011", "001000011", "101000010", "000010011", "100010010", "001010010", "000000111",
    "100000110", "001000110", "000010110", "110000001", "011000001", "111000000", "010010001", "110010000", "011010000",
    "010000101", "110000100", "011000100", "010101000", "010100010", "010001010", "000101010", "010010100"};

// The full ASCII pair of a byte that the plain alphabet lacks.
std::string FullAscii(unsigned char c) {
  if (c == 0) return "%U";
  if (c <= 26) return {'$', static_cast<char>('A' + c - 1)};
  if (c <= 31) return {'%', static_cast<char>('A' + c - 27)};
  if (c >= 'a' && c <= 'z') return {'+', static_cast<char>(c - 'a' + 'A')};
  if (c >= 33 && c <= 44) return {'/', static_cast<char>('A' + c - 33)};
  if (c == '/') return "/O";
  if (c == ':') return "/Z";
  if (c >= 59 && c <= 63) return {'%', static_cast<char>('F' + c - 59)};
  if (c == '@') return "%V";
  if (c >= 91 && c <= 95) return {'%', static_cast<char>('K' + c - 91)};
  if (c == '`') return "%W";
  if (c >= 123 && c <= 127) return {'%', static_cast<char>('P' + c - 123)};
  return std::string(1, static_cast<char>(c));
}

}  // namespace

std::optional<BarSymbol> EncodeCode39(std::string_view data) {
  const std::string_view plain = kAlphabet.substr(0, 43);
  std::string text;
  if (data.find_first_not_of(plain) == std::string_view::npos) {
    text = data;
  } else {
    for (unsigned char c : data) {
      if (c > 127) return std::nullopt;
      text += FullAscii(c);
    }
  }
  BarSymbol symbol{"", std::string(data)};
  auto add = [&](char c) {
    if (!symbol.elements.empty()) symbol.elements += 'n';
    for (char e : kPatterns[kAlphabet.find(c)]) symbol.elements += e == '1' ? 'w' : 'n';
  };
  add('*');
  for (char c : text) add(c);
  add('*');
  return symbol;
}

}  // namespace imptherm
