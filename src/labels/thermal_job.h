#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "common/job_sink.h"
#include "common/label_record.h"
#include "common/logs.h"
#include "common/run_options.h"
#include "labels/layouts.h"
#include "labels/printer_config.h"
#include "platform/platform.h"

namespace imptherm {

// A job is handed to its sink in pieces of about this size (a label is
// never split), so that a record of many labels needs no more memory than
// one piece and a small job goes out in one write.
inline constexpr std::size_t kJobPieceSize = 64 * 1024;

// What one job leaves to the next: the layouts written with the captions
// of the last caption bank a job used (the string table does not change
// while the module is loaded), the model's configuration lines with the
// section they were made from, and the room of the job text and of the
// record's layout.
struct ThermalJobCache {
  int captionBase = -1;
  std::optional<CaptionedLayouts> layouts;
  PrinterConfiguration configuration;
  LayoutTemplate layout;
  std::string text;
};

// A record of fewer lines has no header: its job holds no label and the run
// log no line.
inline constexpr std::size_t kThermalHeaderLines = 6;

// The run log's line for a record with a header.
inline std::string FondPageLine(const std::string& recordKind) { return "fondPage=[" + recordKind + "]"; }

// The layouts with the captions of `captionBase`, kept in `cache`.
const CaptionedLayouts& JobLayouts(ThermalJobCache& cache, Resources& resources, int captionBase);

// The labels of a record whose header `label` holds (ReadRecordHeader), each
// "N", its layout, "P" and its copy block, appended to `text`. Each time the
// text reaches `pieceSize` between two labels, `full` is called with the
// labels (copies included) since the call before and takes the text. Returns
// the labels of what is left in the text. Reads nothing but its arguments,
// and changes only `label`, `layout` and `text`.
int RenderThermalLabels(const RunOptions& run, const RecordLines& record, const CaptionedLayouts& layouts,
                        LabelRecord& label, LayoutTemplate& layout, std::string& text, std::size_t pieceSize,
                        const std::function<void(int labels)>& full);

// What job assembly reads and updates in the module.
struct ThermalJobContext {
  Platform& platform;
  RunLog& runLog;
  LabelRecord& label;
  ThermalJobCache* cache = nullptr;  // none: everything made again for every job
};

// The EPL2 job of one record: the configuration lines of the model the run's
// prnType names, then every label ("N", its layout, "P") with its copy block,
// handed to `sink` in pieces. A job without configuration lines and labels
// writes nothing.
void BuildThermalJob(const ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record, JobSink& sink);
std::string BuildThermalJob(const ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record);

}  // namespace imptherm
