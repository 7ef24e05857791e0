#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/parsed.h"

namespace imptherm::cli {

using NamedValues = std::vector<std::pair<std::string, std::string>>;

// The <param name=... value=...> elements of the control's <object> element
// in an HTML page, as a browser hands them to the control: tag and attribute
// names in any letter case, values quoted or not, character references
// decoded, text turned into Windows-1252. The <object> whose classid names
// the control is taken; otherwise the first <object> of the page. Refused
// when the page has no <object> element.
Parsed<NamedValues> ParsePageParameters(std::string_view html);

// Decodes the character references of an attribute value (named, decimal and
// hexadecimal) into Unicode text held as UTF-8.
std::string DecodeCharacterReferences(std::string_view text);

}  // namespace imptherm::cli
