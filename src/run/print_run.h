#pragma once
#include <cstddef>
#include <string>

#include "run/module.h"
#include "run/parameters.h"

namespace imptherm {

// How a print run ended, for the host (the control still answers S_OK).
enum class RunOutcome {
  Completed,          // printed every record, or the version exchange ran
  ParametersRefused,  // prnType, fileOut or streamUrl missing
  DownloadFailed,     // no label data file could be fetched or read
  ChannelMessage,     // an output channel returned its message
  Abandoned,          // the user abandoned (position chooser, Ctrl-C)
  ErrorContained,     // an error was raised below and contained here, or a channel
                      // did not deliver a record's job (the run went on, as the control's does)
};

struct RunResult {
  RunOutcome outcome = RunOutcome::Completed;
  std::string detail;  // the channel message or the contained error's text
  int labels = 0;      // labels the channels or the sheet printer took, copies included
  // The record (counted from 1) whose job a channel refused, or the first one
  // it did not deliver, or during which an error was raised; 0 when none.
  std::size_t failedRecord = 0;
};

// The exit status `impthermorvane print` gives an outcome (0 to 6); the
// browser bridge reports the same number.
int OutcomeStatus(RunOutcome outcome);
// The one line that goes with a status other than 0 ("download failed: ..."),
// Windows-1252; empty for a completed run.
std::string OutcomeMessage(const RunResult& result);

// One print run: what the control's IPersistPropertyBag::Load does.
class PrintRun {
 public:
  explicit PrintRun(Module& module) : m_(module) {}
  RunResult Load(ParameterSource& params);
  // A run the host asked for and that may not take place: one run log line
  // "Impression refusee : <why>", and nothing else happens.
  void Refuse(const std::string& why);

 private:
  struct Parameters {
    std::string prnType, fileOut, streamUrl, prnName, cookie;
  };
  RunResult Run(ParameterSource& params, Memo& memo);
  bool ReadParameters(ParameterSource& params, Parameters& p);
  void ReadProxySettings(ParameterSource& params);
  RunResult UpdateExchange(Parameters& p, Memo& memo);
  RunResult PrintLabels(const Parameters& p, Memo& memo);
  // The records of a run on the thermal path and on the sheet path; each
  // returns `result` or what the records made of it.
  RunResult PrintThermalRecords(const RunOptions& run, const DataLines& lines, Memo& memo, RunResult result);
  RunResult PrintSheetRecords(const RunOptions& run, const DataLines& lines, RunResult result);
  void ContainError(const std::string& text);

  Module& m_;
  // What the run has done so far, kept outside the stack so that a contained
  // error still reports them.
  int labels_ = 0;
  std::size_t record_ = 0;  // the record being printed, 0 between records
};

}  // namespace imptherm
