#include "barcode/ean13.h"

#include <array>

namespace imptherm {

std::optional<BarSymbol> EncodeEan13(std::string_view data) {
  // Set A of each digit, space first; set C is its complement, set B set C
  // reversed.
  static constexpr std::array<std::string_view, 10> kSetA = {"0001101", "0011001", "0010011", "0111101", "0100011",
                                                             "0110001", "0101111", "0111011", "0110111", "0001011"};
  // Which of the left six digits take set B, by the first digit.
  static constexpr std::array<std::string_view, 10> kParity = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                                               "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};
  if ((data.size() != 12 && data.size() != 13) || data.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  int sum = 0;
  for (int i = 0; i < 12; ++i) sum += (data[i] - '0') * (i % 2 ? 3 : 1);
  const char check = static_cast<char>('0' + (10 - sum % 10) % 10);
  if (data.size() == 13 && data[12] != check) return std::nullopt;
  const std::string digits = std::string(data.substr(0, 12)) + check;

  std::string modules = "101";
  for (int i = 1; i <= 12; ++i) {
    std::string code(kSetA[digits[i] - '0']);
    if (i > 6 || kParity[digits[0] - '0'][i - 1] == 'B')
      for (char& m : code) m = m == '1' ? '0' : '1';
    if (i <= 6 && kParity[digits[0] - '0'][i - 1] == 'B') code = std::string(code.rbegin(), code.rend());
    modules += code;
    if (i == 6) modules += "01010";
  }
  modules += "101";
  BarSymbol symbol{"", digits};
  for (std::size_t i = 0; i < modules.size();) {
    std::size_t run = 1;
    while (i + run < modules.size() && modules[i + run] == modules[i]) ++run;
    symbol.elements += static_cast<char>('0' + run);
    i += run;
  }
  return symbol;
}

std::optional<BarSymbol> EncodeUpcA(std::string_view data) {
  if (data.size() != 11 && data.size() != 12) return std::nullopt;
  std::optional<BarSymbol> symbol = EncodeEan13("0" + std::string(data));
  if (symbol) symbol->humanReadable.erase(0, 1);
  return symbol;
}

}  // namespace imptherm
