#pragma once
#include "barcode/bar_elements.h"

namespace imptherm {

// Code 39 between its start and stop characters, with a narrow space between
// characters. Data made only of the 43 characters of the symbology is
// encoded as it is; any other ASCII data in full ASCII (pairs such as "+A"
// for "a"). Nothing for a byte above 127.
std::optional<BarSymbol> EncodeCode39(std::string_view data);

}  // namespace imptherm
