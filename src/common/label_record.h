#pragma once
#include <array>
#include <cstddef>
#include <string>

#include "common/data_lines.h"

namespace imptherm {

// The label record being printed: one for the whole system, shared by the
// thermal path and the sheet path.
struct LabelRecord {
  std::string RecordKind;  // up to 10 characters; "{DN" is stored as "{DUN"
  int ParcelCount = 0;
  int PalletCount = 0;
  std::string BarcodeGroup3;
  std::string BarcodePrefix;
  std::string BarcodeGroup5;
  std::array<std::string, 40> Fields;  // field 00 to field 39
  int DayNumber = 0;
  bool PresetLabel = false;

  // ParcelCount + PalletCount, held to the 32-bit range when the two counts
  // together go past it.
  int LabelTotal() const;
};

// The record lines read by their place: the header (0 to 5), the baggage
// lines of a sheet run (6 to 13), the run of up to 15 UM and UG lines after
// them, and the line after that run, which tells it is not the record's last.
// Every later line is read for its field code only.
inline constexpr std::size_t kPlacedRecordLines = 30;

// Fills `record` with the next record at or after `start`: from the first
// line that begins with "{" up to (not including) the next line that is
// exactly "}". Returns the index after that line, or lines.size() + 1 when
// the list ended first. Past the placed lines, `record` keeps only what
// LoadLabelFields can use: the last line of each field code, where the line
// of that code was, and no line without a code.
std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record);

// Record lines 0 to 5 into the header values. Only for records of 6 lines or more.
void ReadRecordHeader(const RecordLines& record, LabelRecord& label);

// Empties the fields and DayNumber, reads the field lines from `firstFieldLine`
// on (6 on the thermal path; later in a baggage sheet run), then decides
// PresetLabel.
void LoadLabelFields(const RecordLines& record, LabelRecord& label, std::size_t firstFieldLine = 6);

// Fills the derived fields of label `labelIndex` (from 1).
void DeriveLabelFields(LabelRecord& label, int labelIndex, const std::string& headerText, bool baggageMode);

// Whether DeriveLabelFields writes `field` for a record of this kind: such
// a field may change from one label of a record to the next.
bool IsDerivedField(const std::string& recordKind, int field);

// The barcode data of label `labelIndex`: the long form when BarcodePrefix is
// "99" (with its check digit), the short form otherwise.
std::string ComposeBarcodeData(const LabelRecord& label, int labelIndex);

std::string AppendCheckDigit(const std::string& text);
std::string SpaceBarcodeText(const std::string& barcode);
// Day of the year of a dd/mm/yyyy (or mm/dd/yyyy) text; 999 when neither reads.
int DayOfYearFromDate(const std::string& date);

}  // namespace imptherm
