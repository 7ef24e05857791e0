#pragma once
#include "barcode/bar_elements.h"

namespace imptherm {

// EAN-13 from 12 digits (the check digit is added) or 13 (the last must be
// the check digit), in modules. Nothing for other data.
std::optional<BarSymbol> EncodeEan13(std::string_view data);
// UPC-A, the EAN-13 symbol whose first digit is 0: from 11 or 12 digits.
std::optional<BarSymbol> EncodeUpcA(std::string_view data);

}  // namespace imptherm
