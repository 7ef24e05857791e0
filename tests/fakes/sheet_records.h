#pragma once
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/data_lines.h"

namespace imptherm::fakes {

// A label record as the label data file writes it: the six header lines,
// the baggage lines (baggage print runs only), then one line per field.
struct RecordShape {
  std::string kind = "{KAV";
  int parcels = 1;
  int pallets = 0;
  std::string group3 = "123456";
  std::string prefix = "99";
  std::string group5 = "1";
  std::vector<std::string> baggage;  // record lines 6 on
  std::map<int, std::string> fields;
};

inline RecordLines MakeRecord(const RecordShape& s) {
  RecordLines r{s.kind, std::to_string(s.parcels), std::to_string(s.pallets), s.group3, s.prefix, s.group5};
  r.insert(r.end(), s.baggage.begin(), s.baggage.end());
  for (const auto& [code, value] : s.fields) {
    char c[8];
    std::snprintf(c, sizeof c, "%02d", code);
    r.push_back(c + value);
  }
  return r;
}

// Fields of an ordinary parcel record whose long barcode data reads well.
inline std::map<int, std::string> ParcelFields() {
  return {{0, "PAR"}, {1, "75"}, {2, "1"}, {3, "KAV"}, {7, "0001"}, {11, "12345678"}, {14, "14/02/2026"}};
}

}  // namespace imptherm::fakes
