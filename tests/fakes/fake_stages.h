#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/stages.h"

namespace imptherm::fakes {

// Stages that record every call and answer from the test's script.
class FakeStages final : public PrintStages {
 public:
  // Script
  LabelData download{true, {}, {}};
  std::vector<std::string> sendMessages;  // per SendJob call; empty when exhausted
  ChooserResult chooserResult = ChooserResult::Ok;
  std::function<void()> onBuildJob;  // may raise, to test containment

  // Record
  std::vector<std::string> calls;
  std::vector<RecordLines> records;  // as handed to the job or sheet stage
  std::vector<RunOptions> runs;      // the options that came with each of them
  std::vector<std::string> exchangeUrls, exchangeFiles, exchangeHeaders;
  std::string downloadUrl, downloadCookie;
  std::vector<bool> sheetFirstFlags;
  bool chooserExists = false;

  LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo&) override {
    calls.push_back("DownloadLabelData");
    downloadUrl = url;
    downloadCookie = cookie;
    return download;
  }
  int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                   const std::string& extraHeader, Memo&) override {
    calls.push_back("HttpExchange " + method);
    exchangeUrls.push_back(url);
    exchangeFiles.push_back(file);
    exchangeHeaders.push_back(extraHeader);
    return 200;
  }
  // Records are runs of lines from a "{" line up to a "}" line.
  std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) override {
    calls.push_back("GroupRecordLines");
    record.clear();
    std::size_t i = start;
    while (i < lines.size() && (lines[i].empty() || lines[i][0] != '{')) ++i;
    for (; i < lines.size() && lines[i] != "}"; ++i) record.emplace_back(lines[i]);
    return i < lines.size() ? i + 1 : lines.size() + 1;
  }
  void BuildThermalJob(const RunOptions& run, const RecordLines& record, JobSink& sink) override {
    calls.push_back("BuildThermalJob " + run.prnType);
    runs.push_back(run);
    records.push_back(record);
    if (onBuildJob) onBuildJob();
    sink.Write("JOB" + std::to_string(records.size()));
  }
  // The job as the channel received it, noted as "SendJob fileOut prnName
  // bytes" when it is finished.
  class Channel final : public JobChannel {
   public:
    Channel(FakeStages& stages, std::string what) : stages_(stages), what_(std::move(what)) {}
    void Write(std::string_view piece) override { bytes_.append(piece); }
    std::string Finish() override {
      stages_.calls.push_back(what_ + bytes_);
      const std::size_t n = stages_.Count("SendJob");
      return n <= stages_.sendMessages.size() ? stages_.sendMessages[n - 1] : "";
    }

   private:
    FakeStages& stages_;
    std::string what_, bytes_;
  };
  std::unique_ptr<JobChannel> OpenJob(const RunOptions& run) override {
    return std::make_unique<Channel>(*this, "SendJob " + run.fileOut + " " + run.prnName + " ");
  }
  bool PositionChooserExists() override { return chooserExists; }
  void CreatePositionChooser() override {
    calls.push_back("CreatePositionChooser");
    chooserExists = true;
  }
  ChooserResult ShowPositionChooser() override {
    calls.push_back("ShowPositionChooser");
    return chooserResult;
  }
  void PrintSheetRecord(const RunOptions& run, const RecordLines& record, bool first) override {
    calls.push_back("PrintSheetRecord " + run.prnName);
    runs.push_back(run);
    records.push_back(record);
    sheetFirstFlags.push_back(first);
  }
  int EndSheetDocument() override {
    calls.push_back("EndSheetDocument");
    return 0;
  }
  void AbortSheetDocument() override { calls.push_back("AbortSheetDocument"); }

  int Count(const std::string& prefix) const {
    int n = 0;
    for (auto& c : calls) n += c.rfind(prefix, 0) == 0;
    return n;
  }
};

inline DataLines MakeLines(std::initializer_list<std::string_view> lines) {
  DataLines out;
  for (auto l : lines) out.push_back(l);
  return out;
}

}  // namespace imptherm::fakes
