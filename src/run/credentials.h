#pragma once
#include <string>

namespace imptherm {

// The page hands the proxy user and password as hexadecimal text scrambled
// with a key table shared with the application server. The first byte is the
// first character minus 10; each later byte is its character xor-ed with a
// letter of the key row that the first character selects.

// '0'-'9' give 0-9, 'A'-'F' give 10-15, anything else gives 0.
int HexDigitValue(char c);

// Never fails: stray characters count as 0 and an odd last digit is ignored.
std::string DescrambleCredential(const std::string& scrambled);

// The server side: the hexadecimal (upper-case) text that descrambles to
// `clear`. An empty credential scrambles to an empty text.
std::string ScrambleCredential(const std::string& clear);

}  // namespace imptherm
