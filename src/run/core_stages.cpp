#include "run/core_stages.h"

#include "output/send_job.h"
#include "platform/error.h"

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
  [[maybe_unused]] Module& m_;
  // The process-wide printer object: the "WIN" channel and the sheet path
  // share its current printer.
  PrinterObject printer_{m_.platform.printers};
};

}  // namespace

std::unique_ptr<PrintStages> MakeCoreStages(Module& module) { return std::make_unique<CoreStages>(module); }

}  // namespace imptherm
