// TEMPORARY stand-in for the label record operations, so that the sheet
// path links and can be tested before src/labels/ implements them. Added to
// the core by tests/CMakeLists.txt only while src/labels/label_record.cpp is
// missing; delete this folder and that block when the real one is merged.
#include <cstdio>

#include "labels/label_record.h"
#include "run/text.h"

namespace imptherm {
namespace {

std::string Head(const std::string& s, std::size_t n) { return s.substr(0, std::min(n, s.size())); }

bool ValidDate(int d, int m, int y, int& doy) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  const int len = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  if (d > len) return false;
  doy = d;
  for (int i = 0; i < m - 1; ++i) doy += kDays[i] + (i == 1 && leap ? 1 : 0);
  return true;
}

std::string Fixed(const std::string& s, int n) {
  std::string out = Head(s, static_cast<std::size_t>(n));
  out.resize(static_cast<std::size_t>(n), ' ');
  return out;
}

std::string Digits(int v, int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*d", n, v);
  return buf;
}

}  // namespace

std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) {
  record.clear();
  bool in = false;
  for (std::size_t k = start; k < lines.size(); ++k) {
    if (in) {
      if (lines[k] == "}") return k + 1;
      record.emplace_back(lines[k]);
    } else if (!lines[k].empty() && lines[k][0] == '{') {
      in = true;
      record.emplace_back(lines[k]);
    }
  }
  return lines.size() + 1;
}

void ReadRecordHeader(const RecordLines& record, LabelRecord& label) {
  label.RecordKind = Head(record[0], 10);
  if (TrimBlanks(label.RecordKind) == "{DN") label.RecordKind = "{DUN";
  label.ParcelCount = ParseDecimal(record[1]).value_or(0);
  label.PalletCount = ParseDecimal(record[2]).value_or(0);
  label.BarcodeGroup3 = Head(record[3], 10);
  label.BarcodePrefix = Head(TrimBlanks(record[4]), 10);
  label.BarcodeGroup5 = Head(record[5], 10);
}

void LoadLabelFields(const RecordLines& record, LabelRecord& label, std::size_t firstFieldLine) {
  for (auto& f : label.Fields) f.clear();
  label.DayNumber = 0;
  for (std::size_t k = firstFieldLine; k < record.size(); ++k) {
    const std::string& l = record[k];
    const std::optional<int> code = ParseDecimal(Head(l, 2));
    if (!code || *code < 0 || *code > 39) continue;
    const std::string value = l.size() > 2 ? l.substr(2) : std::string();
    if (*code == 6) {
      label.Fields[6] = Head(value, 15);
    } else if (*code == 32) {
      label.DayNumber = ParseDecimal(TrimBlanks(Head(value, 3))).value_or(0);
    } else {
      label.Fields[static_cast<std::size_t>(*code)] = Head(value, 255);
    }
  }
  label.PresetLabel = !TrimBlanks(label.Fields[37]).empty() && !TrimBlanks(label.Fields[39]).empty();
  if (label.PresetLabel) {
    label.Fields[37] = std::to_string(ParseDecimal(TrimBlanks(label.Fields[37])).value_or(0));
    label.Fields[39] = TrimBlanks(label.Fields[39]);
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
  const std::string data = label.PresetLabel ? label.Fields[39] : ComposeBarcodeData(label, labelIndex);
  if (zan) {
    label.Fields[21] = data;
  } else {
    label.Fields[32] = data;
    label.Fields[33] = SpaceBarcodeText(data);
  }
}

std::string ComposeBarcodeData(const LabelRecord& label, int labelIndex) {
  const bool zan = label.RecordKind == "{ZAN";
  const auto& f = label.Fields;
  if (label.BarcodePrefix == "99") {
    return AppendCheckDigit(Fixed(label.BarcodePrefix, 3) + Fixed(f[zan ? 28 : 7], 4) + Fixed(label.BarcodeGroup3, 6) +
                            Digits(label.DayNumber, 3) + Fixed(label.BarcodeGroup5, 1) + Fixed(f[zan ? 15 : 11], 8) +
                            Digits(labelIndex, 3) + Fixed(zan ? f[1] : f[1] + f[2], 3));
  }
  const std::string f11 = f[zan ? 15 : 11];
  return Fixed(label.BarcodePrefix, 2) + Fixed(f[zan ? 28 : 7], 4) + Fixed(label.BarcodeGroup3, 6) +
         Fixed(f11.size() > 2 ? f11.substr(2) : std::string(), 6) + Digits(labelIndex, 2);
}

std::string AppendCheckDigit(const std::string& text) {
  int sum = 0;
  for (std::size_t i = 0; i < 31 && i < text.size(); ++i) {
    const int v = text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : 0;
    sum += i % 2 == 0 ? 3 * v : v;
  }
  return text + static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string SpaceBarcodeText(const std::string& barcode) {
  if (barcode.size() != 32) return barcode;
  static const int kGroups[] = {3, 4, 6, 3, 1, 8, 3, 3, 1};
  std::string out;
  std::size_t at = 0;
  for (int g : kGroups) {
    if (!out.empty()) out += ' ';
    out += barcode.substr(at, static_cast<std::size_t>(g));
    at += static_cast<std::size_t>(g);
  }
  return out;
}

int DayOfYearFromDate(const std::string& date) {
  auto part = [&](std::size_t at, std::size_t n) { return ParseDecimal(at < date.size() ? date.substr(at, n) : ""); };
  const auto a = part(0, 2), b = part(3, 2), y = part(6, 4);
  int doy = 0;
  if (date.size() >= 10 && a && b && y) {
    if (ValidDate(*a, *b, *y, doy) || ValidDate(*b, *a, *y, doy)) return doy;
  }
  return 999;
}

}  // namespace imptherm
