#include "labels/thermal_job.h"

#include <charconv>

#include "labels/printer_config.h"

namespace imptherm {
namespace {

constexpr std::size_t kHeaderLines = 6;

// The job text waiting to go to the sink.
class JobPieces {
 public:
  explicit JobPieces(JobSink& sink) : sink_(sink) { text.reserve(kJobPieceSize + kJobPieceSize / 4); }
  std::string text;
  // Hands the text over once a piece is full.
  void Ready() {
    if (text.size() >= kJobPieceSize) Flush();
  }
  void Flush() {
    if (text.empty()) return;
    sink_.Write(text);
    text.clear();
  }

 private:
  JobSink& sink_;
};

// The first print of a label is clean; its further copies carry two bars.
void AppendCopyBlock(std::string& job, int copies) {
  if (copies <= 1) return;
  job += "LS800,090,20,10,270\r\nLS800,560,20,10,740\r\nP";
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, copies - 1).ptr;
  job.append(digits, end);
  job += "\r\n";
}

const CaptionedLayouts& Layouts(ThermalJobContext& ctx, int base, std::optional<CaptionedLayouts>& own) {
  if (!ctx.captions) return own.emplace(LoadLayoutCaptions(ctx.platform.resources, base));
  if (ctx.captions->captionBase != base || !ctx.captions->layouts) {
    ctx.captions->layouts.emplace(LoadLayoutCaptions(ctx.platform.resources, base));
    ctx.captions->captionBase = base;
  }
  return *ctx.captions->layouts;
}

}  // namespace

void BuildThermalJob(ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record, JobSink& sink) {
  JobPieces job(sink);
  job.text += LoadPrinterConfiguration(ctx.platform.system, ctx.platform.profiles, run.prnType);
  if (record.size() >= kHeaderLines) {
    LabelRecord& label = ctx.label;
    ReadRecordHeader(record, label);
    ctx.runLog.Write("fondPage=[" + label.RecordKind + "]");
    // Every label of a record reads the same field lines: they are read
    // once, and each label only derives its own number and barcode.
    LoadLabelFields(record, label);
    std::optional<CaptionedLayouts> own;
    const LayoutTemplate layout(label, Layouts(ctx, run.header.CaptionBase, own));
    const int total = label.LabelTotal();
    for (int index = 1; index <= total; ++index) {
      DeriveLabelFields(label, index, run.header.HeaderText, run.header.BaggageMode);
      job.text += "N\r\n";
      layout.Append(job.text, label);
      job.text += "P\r\n";
      const int copies = index > label.ParcelCount ? run.nbEtiquPalettes : run.nbEtiquColis;
      AppendCopyBlock(job.text, copies);
      sink.CountLabels(copies > 1 ? copies : 1);
      if (label.PresetLabel || index == total) break;
      job.Ready();
    }
  }
  job.Flush();
}

std::string BuildThermalJob(ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record) {
  StringJobSink job;
  BuildThermalJob(ctx, run, record, job);
  return std::move(job.bytes);
}

}  // namespace imptherm
