#pragma once
#include <string>

#include "output/send_job.h"
#include "run/module.h"

namespace imptherm::fakes {

// Stages whose download hands over one record per data line and whose job
// is the line itself (one label), delivered by the real output channels, wired the way
// the core wires them (the module's progress memo included).
class OutputStages final : public PrintStages {
 public:
  OutputStages(Module& module, DataLines lines) : m_(module), lines_(std::move(lines)) {}
  LabelData DownloadLabelData(const std::string&, const std::string&, Memo&) override {
    m_.runLog.SetWorkFolder(TempFolder(m_.platform.system));
    return {true, lines_, {}};
  }
  int HttpExchange(const std::string&, const std::string&, const std::string&, const std::string&, Memo&) override {
    return 0;
  }
  std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) override {
    record = {std::string(lines[start])};
    return start + 1;
  }
  // One label per record that is not empty.
  void BuildThermalJob(const RunOptions&, const RecordLines& record, JobSink& sink) override {
    if (record[0].empty()) return;
    sink.Write(record[0]);
    sink.CountLabels(1);
  }
  std::unique_ptr<JobChannel> OpenJob(const RunOptions& run) override {
    OutputContext ctx{m_.platform, m_.runLog, printer, m_.progress};
    return OpenJobChannel(ctx, run.fileOut, run.prnName);
  }
  bool PositionChooserExists() override { return true; }
  void CreatePositionChooser() override {}
  ChooserResult ShowPositionChooser() override { return ChooserResult::Cancel; }
  void PrintSheetRecord(const RunOptions&, const RecordLines&, bool) override {}
  int EndSheetDocument() override { return 0; }
  void AbortSheetDocument() override {}

 private:
  Module& m_;
  DataLines lines_;

 public:
  PrinterObject printer{m_.platform.printers};
};

}  // namespace imptherm::fakes
