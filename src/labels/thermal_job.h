#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "common/job_sink.h"
#include "common/label_record.h"
#include "common/logs.h"
#include "common/run_options.h"
#include "labels/layouts.h"
#include "platform/platform.h"

namespace imptherm {

// A job is handed to its sink in pieces of about this size (a label is
// never split), so that a record of many labels needs no more memory than
// one piece and a small job goes out in one write.
inline constexpr std::size_t kJobPieceSize = 64 * 1024;

// The layouts written with the captions of the last caption bank a job
// used: the string table does not change while the module is loaded.
struct CaptionCache {
  int captionBase = -1;
  std::optional<CaptionedLayouts> layouts;
};

// What job assembly reads and updates in the module.
struct ThermalJobContext {
  Platform& platform;
  RunLog& runLog;
  LabelRecord& label;
  CaptionCache* captions = nullptr;  // none: looked up for every job
};

// The EPL2 job of one record: the configuration lines of the model the run's
// prnType names, then every label ("N", its layout, "P") with its copy block,
// handed to `sink` in pieces. A job without configuration lines and labels
// writes nothing.
void BuildThermalJob(ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record, JobSink& sink);
std::string BuildThermalJob(ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record);

}  // namespace imptherm
