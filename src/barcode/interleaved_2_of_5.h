#pragma once
#include "barcode/bar_elements.h"

namespace imptherm {

// Interleaved 2 of 5 of digits: pairs of digits, the first in the bars, the
// second in the spaces; an odd count gets a leading 0. Nothing for data that
// is empty or not all digits.
std::optional<BarSymbol> EncodeInterleaved2of5(std::string_view data);

}  // namespace imptherm
