#include "run/core_stages.h"

#include "labels/label_record.h"
#include "labels/thermal_job.h"
#include "output/printer_object.h"
#include "output/send_job.h"
#include "platform/error.h"
#include "retrieval/retrieval.h"

namespace imptherm {
namespace {

// Raised by a stage whose subsystem this build does not have yet; the driver
// contains it and the host says plainly which stage is missing.
[[noreturn]] void Unavailable(const std::string& stage) {
  throw PlatformError("the " + stage + " stage is not available yet");
}

class CoreStages final : public PrintStages {
 public:
  explicit CoreStages(Module& module)
      : m_(module), printer_(module.platform.printers), retrieval_(module.platform, module.state, module.runLog) {}

  LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo) override {
    return retrieval_.DownloadLabelData(url, cookie, memo);
  }
  int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                   const std::string& extraHeader, Memo& memo) override {
    return retrieval_.HttpExchange(method, url, file, extraHeader, memo);
  }
  std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) override {
    return imptherm::GroupRecordLines(lines, start, record);
  }
  std::string BuildThermalJob(const std::string& prnType, const RecordLines& record) override {
    ThermalJobContext ctx{m_.platform, m_.state, m_.runLog, label_};
    return imptherm::BuildThermalJob(ctx, prnType, record);
  }
  std::string SendJob(const std::string& fileOut, const std::string& prnName, const std::string& job) override {
    OutputContext ctx{m_.platform, m_.runLog, printer_, m_.progress};
    return imptherm::SendJob(ctx, fileOut, prnName, job);
  }
  bool PositionChooserExists() override { return false; }
  void CreatePositionChooser() override { Unavailable("position chooser"); }
  ChooserResult ShowPositionChooser() override { Unavailable("position chooser"); }
  void PrintSheetRecord(const std::string&, const RecordLines&, bool) override { Unavailable("sheet printing"); }
  void EndSheetDocument() override { Unavailable("sheet printing"); }

 private:
  Module& m_;
  // The one label record of the module, shared with the sheet path.
  LabelRecord label_;
  // The process-wide printer object: the "WIN" channel and the sheet path
  // share its current printer.
  PrinterObject printer_;
  Retrieval retrieval_;  // the process's HTTP client lives as long as the module
};

}  // namespace

std::unique_ptr<PrintStages> MakeCoreStages(Module& module) { return std::make_unique<CoreStages>(module); }

}  // namespace imptherm
