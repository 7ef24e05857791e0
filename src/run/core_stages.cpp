#include "run/core_stages.h"

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
  explicit CoreStages(Module& module) : m_(module), retrieval_(module.platform, module.state, module.runLog) {}

  LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo) override {
    return retrieval_.DownloadLabelData(url, cookie, memo);
  }
  int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                   const std::string& extraHeader, Memo& memo) override {
    return retrieval_.HttpExchange(method, url, file, extraHeader, memo);
  }
  std::size_t GroupRecordLines(const DataLines&, std::size_t, RecordLines&) override { Unavailable("label record"); }
  std::string BuildThermalJob(const std::string&, const RecordLines&) override { Unavailable("thermal job"); }
  std::string SendJob(const std::string&, const std::string&, const std::string&) override {
    Unavailable("output channel");
  }
  bool PositionChooserExists() override { return false; }
  void CreatePositionChooser() override { Unavailable("position chooser"); }
  ChooserResult ShowPositionChooser() override { Unavailable("position chooser"); }
  void PrintSheetRecord(const std::string&, const RecordLines&, bool) override { Unavailable("sheet printing"); }
  void EndSheetDocument() override { Unavailable("sheet printing"); }

 private:
  [[maybe_unused]] Module& m_;
  Retrieval retrieval_;  // the process's HTTP client lives as long as the module
};

}  // namespace

std::unique_ptr<PrintStages> MakeCoreStages(Module& module) { return std::make_unique<CoreStages>(module); }

}  // namespace imptherm
