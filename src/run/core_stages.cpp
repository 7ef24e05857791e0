#include "run/core_stages.h"

#include <optional>

#include "common/label_record.h"
#include "common/printer_object.h"
#include "labels/thermal_job.h"
#include "labels/thermal_jobs_ahead.h"
#include "output/send_job.h"
#include "retrieval/retrieval.h"
#include "sheet/code128.h"
#include "sheet/position_chooser.h"
#include "sheet/sheet_printer.h"

namespace imptherm {
namespace {

class CoreStages final : public PrintStages {
 public:
  explicit CoreStages(Module& module)
      : m_(module), printer_(module.platform.printers), retrieval_(module.platform, module.state, module.runLog) {}

  LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo) override {
    recordNumber_ = 0;
    target_.reset();
    return retrieval_.DownloadLabelData(url, cookie, memo);
  }
  int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                   const std::string& extraHeader, Memo& memo) override {
    return retrieval_.HttpExchange(method, url, file, extraHeader, memo);
  }
  std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) override {
    ++recordNumber_;
    return imptherm::GroupRecordLines(lines, start, record);
  }
  void BuildThermalJob(const RunOptions& run, const RecordLines& record, JobSink& sink) override {
    imptherm::BuildThermalJob(JobContext(), run, record, sink);
  }
  std::unique_ptr<ThermalJobs> StartThermalJobs(const RunOptions& run, const DataLines& lines) override {
    return std::make_unique<Ahead>(*this, run, lines);
  }
  std::unique_ptr<JobChannel> OpenJob(const RunOptions& run) override {
    OutputContext ctx{m_.platform, m_.runLog, printer_, m_.progress};
    // Worked out at the run's first job; the download begins the next run.
    if (!target_ || !target_->Names(run.fileOut, run.prnName))
      target_.emplace(m_.platform.system, run.fileOut, run.prnName);
    return target_->Open(ctx, recordNumber_);
  }
  bool PositionChooserExists() override { return chooser_ != nullptr; }
  void CreatePositionChooser() override {
    chooser_ = std::make_unique<PositionChooser>(m_.platform, 0);
    chooser_->InitPrinterScale(printer_);
    sheet_ =
        std::make_unique<SheetPrinter>(SheetContext{m_.platform, m_.runLog, printer_, label_, barcode_, *chooser_});
  }
  ChooserResult ShowPositionChooser() override {
    if (!chooser_) CreatePositionChooser();
    return chooser_->Show();
  }
  void PrintSheetRecord(const RunOptions& run, const RecordLines& record, bool isFirstRecord) override {
    if (!sheet_) CreatePositionChooser();
    sheet_->PrintSheetRecord(run, record, isFirstRecord);
  }
  int EndSheetDocument() override { return sheet_ ? sheet_->EndDocument() : 0; }
  void AbortSheetDocument() override {
    if (sheet_) sheet_->AbortDocument();
  }

 private:
  // The records of a thermal run rendered ahead; each record taken names
  // the job of the channel opened next.
  class Ahead final : public ThermalJobs {
   public:
    Ahead(CoreStages& stages, const RunOptions& run, const DataLines& lines)
        : stages_(stages), jobs_(stages.JobContext(), run, lines) {}
    bool Done() const override { return jobs_.Done(); }
    void Next() override {
      ++stages_.recordNumber_;
      jobs_.Next();
    }
    void Build(JobSink& sink) override { jobs_.Build(sink); }

   private:
    CoreStages& stages_;
    ThermalJobsAhead jobs_;
  };

  ThermalJobContext JobContext() { return {m_.platform, m_.runLog, label_, &jobCache_}; }

  Module& m_;
  // The one label record of the module, shared with the sheet path.
  LabelRecord label_;
  // The process-wide printer object: the "WIN" channel and the sheet path
  // share its current printer.
  PrinterObject printer_;
  Retrieval retrieval_;  // the process's HTTP client lives as long as the module
  ThermalJobCache jobCache_;
  // The record last grouped, counted from 1 in the label data of the run:
  // how a job that cannot be written is named.
  std::size_t recordNumber_ = 0;
  std::optional<JobTarget> target_;  // where the run's jobs go
  // Made with the position chooser and kept for the life of the module.
  std::unique_ptr<PositionChooser> chooser_;
  BarcodeSettings barcode_;
  std::unique_ptr<SheetPrinter> sheet_;
};

}  // namespace

std::unique_ptr<PrintStages> MakeCoreStages(Module& module) { return std::make_unique<CoreStages>(module); }

}  // namespace imptherm
