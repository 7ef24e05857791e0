#pragma once
#include <bit>

namespace imptherm::posix {

// A label's dots as a print head's image buffer: a cairo A1 surface, one bit
// a dot. A1 packs dots in 32-bit words in the machine's order: on a
// little-endian machine the first dot of each byte is its lowest bit.
inline constexpr bool kFirstDotLow = std::endian::native == std::endian::little;

// The dots first to end - 1 (0 <= first < end <= 8) of one byte.
constexpr unsigned char DotMask(int first, int end) {
  const unsigned run = 0xffu >> (8 - (end - first));
  return static_cast<unsigned char>(kFirstDotLow ? run << first : run << (8 - end));
}

}  // namespace imptherm::posix
