#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imptherm {

// The barcode content for barcode data: subset C is the start subset, "\B"
// switches to subset B before a letter run and "\C" back to subset C before
// a digit run that has more than four characters after its first digit. A
// backslash in the data is written "\\" so that it cannot read as a switch.
std::string BuildCode128Content(std::string_view text);

enum class Code128Subset { A, B, C };

// Symbol values of a content string: the start character, the data (with
// the subset changes the content asks for, and the ones the data needs), the
// check character, the stop character (106).
//
// A run of digits in subset C with an odd number of digits keeps the one
// digit left over in subset B, as ISO/IEC 15417 recommends for the shortest
// symbol: after a switch into C the first digit goes before the switch (CODE C
// right after it), and in a run that starts the symbol in C the last digit
// follows a CODE B. A character that is not a digit met in subset C is
// encoded in subset B; control characters go through SHIFT to subset A and
// bytes from 128 on through FNC4, so no byte of the data is lost.
// Without extended syntax every byte of the content is data.
std::vector<int> EncodeCode128(std::string_view content, Code128Subset start = Code128Subset::C,
                               bool extendedSyntax = true);

// Symbol values of data as a label printer encodes it by itself, with the
// fewest symbol characters by the minimising rules of ISO/IEC 15417 Annex E:
// start in subset C only for a leading run of 4 or more digits (2 when the
// data is only those), switch to C for a run of 6 or more digits (4 at the
// end of the data), SHIFT for a single character of the other of A and B.
// `start` forces the start subset (EPL2's types 1A, 1B, 1C); the rules take
// over after it. Bytes from 128 on go through FNC4. The sheet keeps
// EncodeCode128: its symbols start in subset C whatever the data.
std::vector<int> EncodeCode128Minimal(std::string_view data, std::optional<Code128Subset> start = std::nullopt);

// Bar and space widths in modules of one symbol value (six elements, the stop
// character seven), starting with a bar.
std::string_view Code128Pattern(int value);

}  // namespace imptherm
