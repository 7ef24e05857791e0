#include "common/label_record.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "base/text.h"

namespace imptherm {
namespace {

constexpr std::size_t kHeaderWidth = 10;
constexpr std::size_t kFieldLimit = 255;
constexpr std::size_t kField06Limit = 15;

std::string Head(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

// Characters `from` (1-based) to `to` of a line; shorter lines give what they have.
std::string_view Chars(std::string_view s, std::size_t from, std::size_t to) {
  if (s.size() < from) return {};
  return s.substr(from - 1, to - from + 1);
}

// A barcode's data while it is written: fixed-width elements, at most 48
// characters in all, put side by side without a string's checks.
class BarcodeText {
 public:
  // A text element: left-aligned, padded with blanks and cut to exactly
  // `width` characters.
  void Text(std::string_view text, std::size_t width) {
    text = text.substr(0, width);
    text.copy(bytes_ + size_, text.size());
    std::memset(bytes_ + size_ + text.size(), ' ', width - text.size());
    size_ += width;
  }
  // A number element: at least `digits` digits with leading zeros after the
  // sign, never cut.
  void Number(int value, std::size_t digits) {
    char buffer[16];
    const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, magnitude).ptr;
    const std::size_t length = static_cast<std::size_t>(end - buffer);
    if (value < 0) bytes_[size_++] = '-';
    if (length < digits) {
      std::memset(bytes_ + size_, '0', digits - length);
      size_ += digits - length;
    }
    std::memcpy(bytes_ + size_, buffer, length);
    size_ += length;
  }
  void Char(char c) { bytes_[size_++] = c; }
  std::string_view View() const { return {bytes_, size_}; }

 private:
  char bytes_[64];
  std::size_t size_ = 0;
};

char CheckDigit(std::string_view text) {
  int odd = 0;
  int even = 0;
  for (std::size_t i = 0; i < text.size() && i < 31; ++i) {
    const int value = text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : 0;
    // Position i + 1 counted from 1: even indexes are the odd positions.
    (i % 2 == 0 ? odd : even) += value;
  }
  const int sum = odd * 3 + even;
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The barcode data of a label into `out`, which is emptied first; a field
// of the label keeps its room from one label to the next.
void ComposeBarcodeInto(std::string& out, const LabelRecord& label, int labelIndex) {
  const bool zan = label.RecordKind == "{ZAN";
  const std::string& group2 = label.Fields[zan ? 28 : 7];
  const std::string& group6 = label.Fields[zan ? 15 : 11];
  BarcodeText text;
  if (label.BarcodePrefix == "99") {
    text.Text(label.BarcodePrefix, 3);
    text.Text(group2, 4);
    text.Text(label.BarcodeGroup3, 6);
    text.Number(label.DayNumber, 3);
    text.Text(label.BarcodeGroup5, 1);
    text.Text(group6, 8);
    text.Number(labelIndex, 3);
    if (zan) {
      text.Text(label.Fields[1], 3);
    } else {
      // Fields 01 and 02 read as one text.
      const std::string_view first = std::string_view(label.Fields[1]).substr(0, 3);
      text.Text(first, first.size());
      text.Text(label.Fields[2], 3 - first.size());
    }
    text.Char(CheckDigit(text.View()));
  } else {
    text.Text(label.BarcodePrefix, 2);
    text.Text(group2, 4);
    text.Text(label.BarcodeGroup3, 6);
    text.Text(Chars(group6, 3, 8), 6);
    text.Number(labelIndex, 2);
  }
  out.assign(text.View());
}

void SpaceBarcodeInto(std::string& out, const std::string& barcode) {
  if (barcode.size() != 32) {
    out = barcode;
    return;
  }
  static constexpr std::size_t kGroups[] = {3, 4, 6, 3, 1, 8, 3, 3, 1};
  out.clear();
  std::size_t at = 0;
  for (std::size_t width : kGroups) {
    if (at > 0) out += ' ';
    out.append(barcode, at, width);
    at += width;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DayOfYear(int day, int month, int year) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  const int length = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  if (day > length) return 0;
  int total = day;
  for (int m = 1; m < month; ++m) total += kDays[m - 1] + (m == 2 && IsLeapYear(year) ? 1 : 0);
  return total;
}

// The field a field line fills: its first two characters; kNoField for a
// line without a code or with a code past the last field. A plain number,
// not an optional: this runs for every field line, and an optional came
// back through memory a byte at a time and was read back whole.
constexpr int kNoField = -1;
int FieldCode(std::string_view line) {
  constexpr int kFields = static_cast<int>(std::tuple_size_v<decltype(LabelRecord::Fields)>);
  // Most lines start with two digits; any other start is read as numbers are.
  const int code = line.size() >= 2 && IsDigit(line[0]) && IsDigit(line[1])
                       ? (line[0] - '0') * 10 + (line[1] - '0')
                       : ParseDecimal(line.substr(0, 2)).value_or(kNoField);
  return code >= 0 && code < kFields ? code : kNoField;
}

// Out of line on purpose: inlined, the copy of a text known to be short
// became a string move instruction that costs more than the call for the
// few bytes a field holds.
[[gnu::noinline]] void KeepField(std::string& field, std::string_view text) { field.assign(text.data(), text.size()); }

}  // namespace

int LabelRecord::LabelTotal() const {
  const long long total = static_cast<long long>(ParcelCount) + PalletCount;
  if (total > INT32_MAX) return INT32_MAX;
  if (total < INT32_MIN) return INT32_MIN;
  return static_cast<int>(total);
}

std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) {
  // The strings of the record before keep their room: most lines of the
  // next record fit in it, so grouping allocates next to nothing.
  std::size_t used = 0;
  auto place = [&](std::string_view line) {
    if (used < record.size())
      record[used].assign(line);
    else
      record.emplace_back(line);
    return used++;
  };
  // Where the line of each field code is kept, past the placed lines: a
  // record of a hundred million lines holds no more than 70 of them.
  std::array<std::size_t, std::tuple_size_v<decltype(LabelRecord::Fields)>> kept;
  kept.fill(0);
  bool inRecord = false;
  // Lines not yet cut are cut as far as the record goes (DataLines::Defer).
  std::size_t next = 0;
  for (std::size_t k = start; lines.Reaches(k); ++k) {
    const std::string_view line = lines[k];
    if (inRecord) {
      if (line == "}") {
        next = k + 1;
        break;
      }
      if (used < kPlacedRecordLines) {
        place(line);
      } else if (const int code = FieldCode(line); code != kNoField) {
        // The last line of a code is the one that counts.
        if (kept[code])
          record[kept[code]].assign(line);
        else
          kept[code] = place(line);
      }
    } else if (!line.empty() && line.front() == '{') {
      inRecord = true;
      place(line);
    }
  }
  record.resize(used);
  // A record that runs to the end: past every line, all of them cut now.
  return next != 0 ? next : lines.size() + 1;
}

void ReadRecordHeader(const RecordLines& record, LabelRecord& label) {
  label.RecordKind = Head(record.at(0), kHeaderWidth);
  if (TrimBlanks(label.RecordKind) == "{DN") label.RecordKind = "{DUN";
  label.ParcelCount = ParseDecimal(record.at(1)).value_or(0);
  label.PalletCount = ParseDecimal(record.at(2)).value_or(0);
  label.BarcodeGroup3 = Head(record.at(3), kHeaderWidth);
  label.BarcodePrefix = Head(TrimBlanks(record.at(4)), kHeaderWidth);
  label.BarcodeGroup5 = Head(record.at(5), kHeaderWidth);
}

void LoadLabelFields(const RecordLines& record, LabelRecord& label, std::size_t firstFieldLine) {
  for (std::string& field : label.Fields) field.clear();
  label.DayNumber = 0;
  for (std::size_t i = firstFieldLine; i < record.size(); ++i) {
    const std::string_view line = record[i];
    // Codes past the last field have nowhere to go; they are skipped like
    // lines without a code.
    const int code = FieldCode(line);
    if (code == kNoField) continue;
    if (code == 32) {
      label.DayNumber = ParseDecimal(TrimBlanks(Chars(line, 3, 5))).value_or(0);
    } else {
      KeepField(label.Fields[code], Chars(line, 3, 2 + (code == 6 ? kField06Limit : kFieldLimit)));
    }
  }
  const std::string number = TrimBlanks(label.Fields[37]);
  const std::string barcode = TrimBlanks(label.Fields[39]);
  label.PresetLabel = !number.empty() && !barcode.empty();
  if (label.PresetLabel) {
    label.Fields[37] = std::to_string(ParseDecimal(number).value_or(0));
    label.Fields[39] = barcode;
  }
}

void DeriveLabelFields(LabelRecord& label, int labelIndex, const std::string& headerText, bool baggageMode) {
  const bool zan = label.RecordKind == "{ZAN";
  label.Fields[zan ? 4 : 5] = headerText;
  label.Fields[zan ? 17 : 30] = label.PresetLabel ? label.Fields[37] : std::to_string(labelIndex);
  if (baggageMode) {
    label.DayNumber = 999;
  } else if (label.DayNumber == 0) {
    label.DayNumber = DayOfYearFromDate(label.Fields[zan ? 18 : 14]);
  }
  std::string& barcode = label.Fields[zan ? 21 : 32];
  if (label.PresetLabel) {
    barcode = label.Fields[39];
  } else {
    ComposeBarcodeInto(barcode, label, labelIndex);
  }
  if (!zan) SpaceBarcodeInto(label.Fields[33], barcode);
}

bool IsDerivedField(const std::string& recordKind, int field) {
  if (recordKind == "{ZAN") return field == 4 || field == 17 || field == 21;
  return field == 5 || field == 30 || field == 32 || field == 33;
}

std::string ComposeBarcodeData(const LabelRecord& label, int labelIndex) {
  std::string out;
  ComposeBarcodeInto(out, label, labelIndex);
  return out;
}

std::string AppendCheckDigit(const std::string& text) { return text + CheckDigit(text); }

std::string SpaceBarcodeText(const std::string& barcode) {
  std::string out;
  SpaceBarcodeInto(out, barcode);
  return out;
}

int DayOfYearFromDate(const std::string& date) {
  constexpr int kUnreadable = 999;
  if (date.size() < 10) return kUnreadable;
  const std::optional<int> first = ParseDecimal(Chars(date, 1, 2));
  const std::optional<int> second = ParseDecimal(Chars(date, 4, 5));
  const std::optional<int> year = ParseDecimal(Chars(date, 7, 10));
  if (!first || !second || !year) return kUnreadable;
  if (int day = DayOfYear(*first, *second, *year)) return day;
  if (int day = DayOfYear(*second, *first, *year)) return day;
  return kUnreadable;
}

}  // namespace imptherm
