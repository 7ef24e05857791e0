#include "run/core_stages.h"

#include "labels/label_record.h"
#include "output/printer_object.h"
#include "platform/error.h"
#include "sheet/code128.h"
#include "sheet/position_chooser.h"
#include "sheet/sheet_printer.h"

namespace imptherm {
namespace {

// Raised by a stage whose subsystem this build does not have yet; the driver
// contains it and the host says plainly which stage is missing.
[[noreturn]] void Unavailable(const std::string& stage) {
  throw PlatformError("the " + stage + " stage is not available yet");
}

class CoreStages final : public PrintStages {
 public:
  explicit CoreStages(Module& module) : m_(module) {}

  LabelData DownloadLabelData(const std::string&, const std::string&, Memo&) override {
    Unavailable("label data download");
  }
  int HttpExchange(const std::string&, const std::string&, const std::string&, const std::string&, Memo&) override {
    Unavailable("HTTP exchange");
  }
  std::size_t GroupRecordLines(const DataLines&, std::size_t, RecordLines&) override { Unavailable("label record"); }
  std::string BuildThermalJob(const std::string&, const RecordLines&) override { Unavailable("thermal job"); }
  std::string SendJob(const std::string&, const std::string&, const std::string&) override {
    Unavailable("output channel");
  }
  bool PositionChooserExists() override { return chooser_ != nullptr; }
  void CreatePositionChooser() override {
    chooser_ = std::make_unique<PositionChooser>(m_.platform, 0);
    chooser_->InitPrinterScale(printerObject_);
    barcode_ = BarcodeSettings{};
    sheet_ = std::make_unique<SheetPrinter>(
        SheetContext{m_.platform, m_.state, m_.runLog, printerObject_, record_, barcode_, *chooser_});
  }
  ChooserResult ShowPositionChooser() override {
    if (!chooser_) CreatePositionChooser();
    return chooser_->Show();
  }
  void PrintSheetRecord(const std::string& prnName, const RecordLines& record, bool isFirstRecord) override {
    if (!sheet_) CreatePositionChooser();
    sheet_->PrintSheetRecord(prnName, record, isFirstRecord);
  }
  void EndSheetDocument() override {
    if (sheet_) sheet_->EndDocument();
  }

 private:
  Module& m_;
  // The process-wide printer object and the label record being printed.
  PrinterObject printerObject_{m_.platform.printers};
  LabelRecord record_;
  // Made with the position chooser and kept for the life of the module.
  std::unique_ptr<PositionChooser> chooser_;
  BarcodeSettings barcode_;
  std::unique_ptr<SheetPrinter> sheet_;
};

}  // namespace

std::unique_ptr<PrintStages> MakeCoreStages(Module& module) { return std::make_unique<CoreStages>(module); }

}  // namespace imptherm
