#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace imptherm {

// A symbol as the widths of its elements, bar first, then space, bar, ...:
// 'n' and 'w' a narrow and a wide element (symbologies of two widths), a
// digit that many modules of the narrow width (symbologies of modules).
struct BarSymbol {
  std::string elements;
  std::string humanReadable;  // the line printed under the bars
};

}  // namespace imptherm
