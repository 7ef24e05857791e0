// Barcode data of any bytes: the content string and its symbol values must
// decode back to the trimmed data, byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "barcode/code128.h"
#include "base/text.h"

namespace {

// Reads symbol values back into data bytes, as a scanner does.
std::string Decode(const std::vector<int>& v) {
  if (v.size() < 3 || v.back() != 106) std::abort();
  long sum = v[0];
  for (std::size_t i = 1; i + 2 < v.size(); ++i) sum += static_cast<long>(i) * v[i];
  if (v[v.size() - 2] != sum % 103) std::abort();
  char set = v[0] == 103 ? 'A' : v[0] == 104 ? 'B' : v[0] == 105 ? 'C' : 0;
  if (!set) std::abort();
  std::string out;
  bool shift = false, fnc4 = false;
  for (std::size_t i = 1; i + 2 < v.size(); ++i) {
    const int x = v[i];
    if (x < 0 || x > 102) std::abort();
    const char now = shift ? (set == 'A' ? 'B' : 'A') : set;
    shift = false;
    if (now == 'C') {
      if (x < 100) {
        out += static_cast<char>('0' + x / 10);
        out += static_cast<char>('0' + x % 10);
      } else {
        set = x == 100 ? 'B' : x == 101 ? 'A' : 0;
        if (!set) std::abort();
      }
      continue;
    }
    if (x < 96) {
      int c = now == 'B' ? x + 32 : (x < 64 ? x + 32 : x - 64);
      if (fnc4) c += 128;
      fnc4 = false;
      out += static_cast<char>(c);
    } else if (x == 98) {
      shift = true;
    } else if (x == 99) {
      set = 'C';
    } else if ((now == 'B' && x == 100) || (now == 'A' && x == 101)) {
      fnc4 = true;
    } else if (x == 100 || x == 101) {
      set = x == 100 ? 'B' : 'A';
    } else {
      std::abort();
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string content = imptherm::BuildCode128Content(text);
  if (Decode(imptherm::EncodeCode128(content)) != imptherm::TrimBlanks(text)) std::abort();
  // Any content at all, switches or not, encodes to a valid symbol.
  imptherm::EncodeCode128(text, imptherm::Code128Subset::C);
  imptherm::EncodeCode128(text, imptherm::Code128Subset::B, false);
  if (Decode(imptherm::EncodeCode128(text, imptherm::Code128Subset::A, false)) != text) std::abort();
  return 0;
}
