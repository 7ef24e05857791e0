#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "common/data_lines.h"
#include "common/job_sink.h"
#include "common/run_options.h"
#include "platform/ui.h"
#include "retrieval/retrieval.h"
#include "sheet/position_chooser.h"

namespace imptherm {

// The thermal jobs of a run's records, in order.
class ThermalJobs {
 public:
  virtual ~ThermalJobs() = default;
  // Whether every record has been taken.
  virtual bool Done() const = 0;
  // Takes the next record.
  virtual void Next() = 0;
  // Builds the job of the record taken into `sink`, piece by piece.
  virtual void Build(JobSink& sink) = 0;
};

// The stages of a print run below the driver. The core's own implementation
// wires them to the subsystems; tests substitute their own. What a run's
// stages read flows down this interface only: the download returns the data
// file's header with its lines, and the driver hands the run's RunOptions,
// made from the page and that header, to every stage that builds or prints.
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
  // Builds the record's job into `sink` piece by piece; an empty job writes
  // no piece.
  virtual void BuildThermalJob(const RunOptions& run, const RecordLines& record, JobSink& sink) = 0;
  // The run's thermal jobs, taken one by one by the driver. By default each
  // record is grouped and built when it is taken (GroupRecordLines,
  // BuildThermalJob); the core's stages render the next records' labels on
  // a second thread meanwhile.
  virtual std::unique_ptr<ThermalJobs> StartThermalJobs(const RunOptions& run, const DataLines& lines);
  // The channel the run's fileOut names, ready to take one job.
  virtual std::unique_ptr<JobChannel> OpenJob(const RunOptions& run) = 0;

  // Sheet path. The chooser and the shared barcode object are made on the
  // first call and kept for the life of the module.
  virtual bool PositionChooserExists() = 0;
  virtual void CreatePositionChooser() = 0;
  virtual ChooserResult ShowPositionChooser() = 0;
  virtual void PrintSheetRecord(const RunOptions& run, const RecordLines& record, bool isFirstRecord) = 0;
  // Hands the open document to the printer; returns the labels drawn in it.
  virtual int EndSheetDocument() = 0;
  // Cancels the open document: nothing of it is printed.
  virtual void AbortSheetDocument() = 0;
};

// What became of one record's job on the thermal path.
struct RecordDelivery {
  std::string message;  // the channel's message: empty when the print run may go on
  std::string failure;  // why the channel did not take all of the job; the run still goes on
  int labels = 0;       // the labels of a job the channel took whole, copies included
};

// The record taken on the thermal path: its job goes out while it is built. With
// `ui`, a stop asked for in the middle of the job raises RunAbandoned between
// two pieces.
inline RecordDelivery PrintThermalRecord(PrintStages& stages, const RunOptions& run, ThermalJobs& jobs,
                                         UserInterface* ui = nullptr) {
  std::unique_ptr<JobChannel> channel = stages.OpenJob(run);
  StoppableJob job(*channel, ui);
  jobs.Build(job);
  RecordDelivery sent{channel->Finish(), channel->failure()};
  if (sent.message.empty() && sent.failure.empty()) sent.labels = job.labels();
  return sent;
}

}  // namespace imptherm
