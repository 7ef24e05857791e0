#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imptherm {

// Cuts bytes into lines as they arrive: CR LF, LF and a lone CR end a line,
// a Ctrl-Z byte ends the text. Lines have no length limit; only the line
// being cut is held.
class LineSplitter {
 public:
  // Calls `take(line)` for each complete line. Returns false once Ctrl-Z
  // was seen (nothing after it is looked at).
  template <typename Take>
  bool Feed(std::string_view bytes, Take&& take);
  // The last line when the text does not end with a line end: what was fed
  // after the last line end, then `rest`, which holds none. A last line fed
  // only as `rest` is taken where it stands, not gathered first.
  template <typename Take>
  void Finish(Take&& take, std::string_view rest = {}) {
    if (!partial_.empty()) {
      partial_.append(rest);
      take(std::string_view(partial_));
      partial_.clear();
    } else if (!rest.empty()) {
      take(rest);
    }
  }

 private:
  std::string partial_;
  bool afterCr_ = false;
  bool ended_ = false;
};

// The first byte from `i` on below 0x20 (line ends and Ctrl-Z are among
// them), or the size: label text is skipped sixteen bytes at a time where
// the processor compares sixteen at once, eight at a time elsewhere.
inline std::size_t NextControlByte(std::string_view bytes, std::size_t i) {
#if defined(__SSE2__)
  const __m128i highest = _mm_set1_epi8(0x1F);
  for (; i + 16 <= bytes.size(); i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    // A byte is below 0x20 exactly when the unsigned minimum of it and 0x1F
    // is the byte itself.
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(block, highest), block));
    if (hits != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
  }
#endif
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    // Nonzero exactly when one of the eight bytes is below 0x20.
    if (((word - kOnes * 0x20) & ~word & kHighs) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) >= 0x20) ++i;
  return i;
}

// A byte that ends a line, or the text (Ctrl-Z).
inline bool EndsLine(char c) { return c == '\r' || c == '\n' || c == '\x1A'; }

// Where a piece of `bytes` from `from` on, of `least` bytes (at least one)
// or a little more, ends: just after the first line end or Ctrl-Z it holds
// from its `least`th byte on, or at the end of the bytes. A splitter fed
// such pieces never has to gather a line from two of them.
inline std::size_t PieceEnd(std::string_view bytes, std::size_t from, std::size_t least) {
  if (least >= bytes.size() - from) return bytes.size();
  for (std::size_t i = from + least - 1;; ++i) {
    i = NextControlByte(bytes, i);
    if (i == bytes.size()) return i;
    if (EndsLine(bytes[i])) return i + 1;
  }
}

template <typename Take>
bool LineSplitter::Feed(std::string_view bytes, Take&& take) {
  if (ended_) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!afterCr_) {
      i = NextControlByte(bytes, i);
      if (i == bytes.size()) break;
    }
    char c = bytes[i];
    if (afterCr_) {
      afterCr_ = false;
      if (c == '\n') {
        start = i + 1;
        continue;
      }
    }
    if (!EndsLine(c)) continue;
    if (partial_.empty()) {
      if (c != '\x1A' || i > start) take(bytes.substr(start, i - start));
    } else {
      partial_.append(bytes.substr(start, i - start));
      take(std::string_view(partial_));
      partial_.clear();
    }
    if (c == '\x1A') {
      ended_ = true;
      return false;
    }
    afterCr_ = c == '\r';
    start = i + 1;
  }
  partial_.append(bytes.substr(start));
  return true;
}

}  // namespace imptherm
