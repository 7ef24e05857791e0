#include "barcode/interleaved_2_of_5.h"

#include <array>

namespace imptherm {

std::optional<BarSymbol> EncodeInterleaved2of5(std::string_view data) {
  static constexpr std::array<std::string_view, 10> kDigits = {"nnwwn", "wnnnw", "nwnnw", "wwnnn", "nnwnw",
                                                               "wnwnn", "nwwnn", "nnnww", "wnnwn", "nwnwn"};
  if (data.empty() || data.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::string digits(data);
  if (digits.size() % 2) digits.insert(digits.begin(), '0');
  BarSymbol symbol{"nnnn", digits};
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const std::string_view bars = kDigits[digits[i] - '0'], spaces = kDigits[digits[i + 1] - '0'];
    for (int k = 0; k < 5; ++k) {
      symbol.elements += bars[k];
      symbol.elements += spaces[k];
    }
  }
  symbol.elements += "wnn";
  return symbol;
}

}  // namespace imptherm
