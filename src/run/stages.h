#pragma once
#include <cstddef>
#include <string>

#include "platform/ui.h"
#include "run/data_lines.h"

namespace imptherm {

// What a download gives the driver: the data lines after the header, and
// whether the exchange and the file read succeeded at all (an empty list
// from a good file is not a failed download).
struct LabelData {
  bool downloaded = false;
  DataLines lines;
};

enum class ChooserResult { Ok, Cancel };

// The stages of a print run below the driver. The core's own implementation
// wires them to the subsystems; tests substitute their own.
class PrintStages {
 public:
  virtual ~PrintStages() = default;

  virtual LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo) = 0;
  // Returns the final status or 0 on failure (update mode ignores it).
  virtual int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                           const std::string& extraHeader, Memo& memo) = 0;
  // Fills `record` with the next record at or after `start`; returns an
  // index greater than `start`.
  virtual std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) = 0;
  virtual std::string BuildThermalJob(const std::string& prnType, const RecordLines& record) = 0;
  // Empty when the print run may go on.
  virtual std::string SendJob(const std::string& fileOut, const std::string& prnName, const std::string& job) = 0;

  // Sheet path. The chooser and the shared barcode object are made on the
  // first call and kept for the life of the module.
  virtual bool PositionChooserExists() = 0;
  virtual void CreatePositionChooser() = 0;
  virtual ChooserResult ShowPositionChooser() = 0;
  virtual void PrintSheetRecord(const std::string& prnName, const RecordLines& record, bool isFirstRecord) = 0;
  virtual void EndSheetDocument() = 0;
  // Cancels the open document: nothing of it is printed.
  virtual void AbortSheetDocument() = 0;
};

}  // namespace imptherm
