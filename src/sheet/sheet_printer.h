#pragma once
#include <array>
#include <memory>
#include <string>

#include "common/label_record.h"
#include "common/logs.h"
#include "common/printer_object.h"
#include "common/run_options.h"
#include "platform/platform.h"
#include "sheet/code128.h"
#include "sheet/position_chooser.h"
#include "sheet/sheet_layouts.h"

namespace imptherm {

// Sheet geometry in sheet units.
inline constexpr int kLabelWidth = 384;
inline constexpr int kLabelHeight = 435;
inline constexpr int kBaggageLabelHeight = 555;
inline constexpr int kMaxDrawnText = 255;
inline constexpr int kBagEntries = 15;

// The origin of slot 1..4 in sheet units.
struct SlotOrigin {
  int x, y;
};
SlotOrigin SlotOriginFor(int slot, bool baggageMode);

// The label style a record kind selects (0: none).
int StyleForKind(const std::string& recordKind);

// What the sheet path works with; all of it outlives the printer.
struct SheetContext {
  Platform& platform;
  RunLog& runLog;
  PrinterObject& printer;
  LabelRecord& label;
  BarcodeSettings& barcode;
  PositionChooser& chooser;
};

// Draws label records four to a sheet on the current printer, with the
// pickup request of baggage records.
class SheetPrinter {
 public:
  explicit SheetPrinter(SheetContext ctx) : c_(ctx) {}

  // Draws on the run's prnName; the first record of a run starts a new
  // document at the slot the chooser shows.
  void PrintSheetRecord(const RunOptions& run, const RecordLines& record, bool isFirstRecord);
  // Ends the open document, if any, and hands it to the printer; returns
  // the labels drawn in it, copies included.
  int EndDocument();
  // Drops the open document, if any, without printing it.
  void AbortDocument() { document_.reset(); }

  // The record's baggage values, as the last PrintSheetRecord read them.
  const std::string& BaggageLine(int n) const { return bag_.at(static_cast<std::size_t>(n)); }
  const std::string& UmEntry(int k) const { return um_.at(static_cast<std::size_t>(k)); }
  const std::string& UgEntry(int k) const { return ug_.at(static_cast<std::size_t>(k)); }
  bool bare() const { return bare_; }
  // The slot (1 to 4) of the item drawn last on the current sheet.
  int position() const { return position_; }

 private:
  void ReadBaggageLines(const RecordLines& record);
  void StartDocument(const std::string& printerName);
  void AdvanceSlot();
  void DrawSheetLabel(int labelIndex, Canvas& canvas);
  void DrawPickupRequest(Canvas& canvas);

  // What the rows of a layout are drawn with besides the record.
  struct RowContext {
    std::string total;  // the labels of the record
    int entry = 0;      // the label, or the pickup entry, a UM or UG line belongs to
    int dy = 0;         // how far the rows move down
    bool baggage = false;
  };
  void DrawRows(Canvas& canvas, SheetLayout rows, const RowContext& at);
  bool Wanted(const SheetRow& row, const RowContext& at) const;
  std::string Words(const SheetRow& row, const RowContext& at);
  // Caption k of the run's bank.
  std::string Caption(int k);
  void PaintCode(Canvas& canvas, const std::string& content, double module, int x1, int y1, int x2, int y2);

  // Primitives in sheet units, relative to the slot origin.
  void DrawLine(Canvas& canvas, int x1, int y1, int x2, int y2, int thickness, int multiplier);
  void DrawOutline(Canvas& canvas, int height);
  void DrawFrame(Canvas& canvas, int x1, int y1, int x2, int y2);
  void DrawBox(Canvas& canvas, int x1, int y1, int x2, int y2, bool filled);
  void DrawText(Canvas& canvas, int x, int y, int right, const std::string& text, SheetFont font, int size);

  SheetContext c_;
  const RunOptions* run_ = nullptr;  // the run of the record being drawn
  std::unique_ptr<DrawnDocument> document_;
  int documentLabels_ = 0;
  SlotOrigin origin_{0, 0};
  int position_ = 0;  // 0 until the run's first item takes the chooser's slot
  std::string face_ = "MS Sans Serif";
  std::array<std::string, 14> bag_;              // baggage lines 6 to 13
  std::array<std::string, kBagEntries + 1> um_;  // entries 1 to 15
  std::array<std::string, kBagEntries + 1> ug_;
  std::size_t firstFieldLine_ = 6;
  bool bare_ = false;
};

}  // namespace imptherm
