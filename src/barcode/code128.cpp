#include "barcode/code128.h"

#include <array>

#include "base/text.h"

namespace imptherm {
namespace {

// Bar and space widths of the symbol values 0 to 105, then the stop character.
constexpr std::array<std::string_view, 107> kPatterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213", "221312",
    "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132", "221231", "213212",
    "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211", "212123", "212321", "232121",
    "111323", "131123", "131321", "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",
    "132131", "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131", "311123",
    "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111", "111224", "111422", "121124",
    "121421", "141122", "141221", "112214", "112412", "122114", "122411", "142112", "142211", "241211", "221114",
    "413111", "241112", "134111", "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112",
    "421211", "212141", "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

constexpr int kShift = 98;
constexpr int kCodeC = 99;   // in subsets A and B
constexpr int kCodeB = 100;  // in subsets A and C
constexpr int kFnc4B = 100;  // in subset B
constexpr int kStart[] = {103, 104, 105};
constexpr int kStop = 106;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Ends a symbol begun with its start value: the check value, then the stop.
void AddCheckAndStop(std::vector<int>& values) {
  long sum = values[0];
  for (std::size_t i = 1; i < values.size(); ++i) sum += static_cast<long>(i) * values[i];
  values.push_back(static_cast<int>(sum % 103));
  values.push_back(kStop);
}

// One piece of content: a data byte, or a request for a subset.
struct Item {
  bool isSwitch;
  char value;  // the byte, or 'B' / 'C'
};

std::vector<Item> ParseContent(std::string_view content, bool extended) {
  std::vector<Item> items;
  for (std::size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (extended && c == '\\' && i + 1 < content.size()) {
      char n = content[i + 1];
      if (n == 'B' || n == 'C') {
        items.push_back({true, n});
        ++i;
        continue;
      }
      if (n == '\\') ++i;
    }
    items.push_back({false, c});
  }
  return items;
}

class Encoder {
 public:
  explicit Encoder(Code128Subset start) : subset_(start) { values_.push_back(kStart[static_cast<int>(start)]); }

  void ToB() {
    if (subset_ != Code128Subset::B) values_.push_back(kCodeB);
    subset_ = Code128Subset::B;
  }
  void ToC() {
    if (subset_ != Code128Subset::C) values_.push_back(kCodeC);
    subset_ = Code128Subset::C;
  }
  // One byte in subset B; the bytes B lacks borrow subset A or FNC4.
  void ByteInB(unsigned char c) {
    ToB();
    if (c >= 128) {
      values_.push_back(kFnc4B);
      c = static_cast<unsigned char>(c - 128);
    }
    if (c < 32) {
      values_.push_back(kShift);
      values_.push_back(c + 64);
    } else {
      values_.push_back(c - 32);
    }
  }
  void Pairs(std::string_view digits) {
    ToC();
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
      values_.push_back((digits[i] - '0') * 10 + digits[i + 1] - '0');
  }
  void DigitRun(std::string_view digits) {
    if (digits.size() % 2 == 0) {
      Pairs(digits);
    } else if (digits.size() == 1) {
      ByteInB(static_cast<unsigned char>(digits[0]));
    } else if (subset_ == Code128Subset::C) {
      Pairs(digits.substr(0, digits.size() - 1));
      ByteInB(static_cast<unsigned char>(digits.back()));
    } else {
      ByteInB(static_cast<unsigned char>(digits[0]));
      Pairs(digits.substr(1));
    }
  }
  std::vector<int> Finish() {
    AddCheckAndStop(values_);
    return std::move(values_);
  }

 private:
  Code128Subset subset_;
  std::vector<int> values_;
};

}  // namespace

std::string BuildCode128Content(std::string_view text) {
  const std::string t = TrimBlanks(text);
  const std::size_t n = t.size();
  char mode = 'C';
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t p = i + 1;
    const char c = t[i];
    if (IsDigit(c)) {
      if (mode == 'B' && n - p > 4) {
        mode = 'C';
        out += "\\C";
      }
    } else if (mode != 'B') {
      mode = 'B';
      out += "\\B";
    }
    out += c;
    if (c == '\\') out += '\\';
  }
  return out;
}

std::vector<int> EncodeCode128(std::string_view content, Code128Subset start, bool extendedSyntax) {
  const std::vector<Item> items = ParseContent(content, extendedSyntax);
  Encoder enc(start);
  char want = start == Code128Subset::C ? 'C' : 'B';
  std::string run;  // digits waiting for subset C
  auto flush = [&] {
    if (!run.empty()) enc.DigitRun(run);
    run.clear();
  };
  for (const Item& it : items) {
    if (it.isSwitch) {
      if (it.value != want) flush();
      want = it.value;
      continue;
    }
    if (want == 'C' && IsDigit(it.value)) {
      run += it.value;
      continue;
    }
    flush();
    enc.ByteInB(static_cast<unsigned char>(it.value));
  }
  flush();
  return enc.Finish();
}

std::vector<int> EncodeCode128Minimal(std::string_view data, std::optional<Code128Subset> start) {
  constexpr int kCodeA = 101;  // in subsets B and C; FNC4 in subset A
  const std::size_t n = data.size();
  auto low = [&](std::size_t i) { return static_cast<unsigned char>(data[i]) & 0x7f; };
  // From the end, once: the digits from i on, and the subset that the first
  // character from i on that only one of A and B holds needs (none when no
  // such character follows). Looking ahead at every character would take
  // quadratic time on the long data a job may hold.
  std::vector<std::size_t> digits(n + 1, 0);
  std::vector<std::optional<Code128Subset>> ahead(n + 1);
  for (std::size_t i = n; i-- > 0;) {
    digits[i] = IsDigit(data[i]) ? digits[i + 1] + 1 : 0;
    ahead[i] = low(i) < 32 ? Code128Subset::A : low(i) >= 96 ? Code128Subset::B : ahead[i + 1];
  }
  // Subset A when a control character comes before any lower case one from
  // i on, B otherwise.
  auto aOrB = [&](std::size_t i) { return ahead[i].value_or(Code128Subset::B); };

  Code128Subset set;
  if (start) {
    set = *start;
  } else {
    const std::size_t lead = digits[0];
    set = lead >= 4 || (lead == 2 && n == 2) ? Code128Subset::C : aOrB(0);
  }
  std::vector<int> values = {kStart[static_cast<int>(set)]};
  for (std::size_t i = 0; i < n;) {
    const std::size_t run = digits[i];
    if (set == Code128Subset::C) {
      if (run >= 2) {
        values.push_back((data[i] - '0') * 10 + data[i + 1] - '0');
        i += 2;
        continue;
      }
      set = aOrB(i);
      values.push_back(set == Code128Subset::A ? kCodeA : kCodeB);
    }
    if (run >= 6 || (run >= 4 && i + run == n)) {
      // An odd run keeps its first digit in A or B.
      if (run % 2 == 1) values.push_back(data[i++] - 32);
      values.push_back(kCodeC);
      set = Code128Subset::C;
      continue;
    }
    const auto byte = static_cast<unsigned char>(data[i]);
    const int c = low(i);
    const bool wantA = c < 32, wantB = c >= 96;
    bool shift = false;
    if ((set == Code128Subset::A && wantB) || (set == Code128Subset::B && wantA)) {
      // The next character that only one of A and B holds needs this
      // subset again: this one borrows the other through SHIFT.
      if (ahead[i + 1] == set) {
        shift = true;
      } else {
        set = wantA ? Code128Subset::A : Code128Subset::B;
        values.push_back(wantA ? kCodeA : kCodeB);
      }
    }
    if (byte >= 128) values.push_back(set == Code128Subset::A ? kCodeA : kFnc4B);
    if (shift) values.push_back(kShift);
    values.push_back(c < 32 ? c + 64 : c - 32);
    ++i;
  }
  AddCheckAndStop(values);
  return values;
}

std::string_view Code128Pattern(int value) { return kPatterns.at(static_cast<std::size_t>(value)); }

}  // namespace imptherm
