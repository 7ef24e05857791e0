#include "labels/thermal_job.h"

#include <charconv>
#include <optional>
#include <utility>

namespace imptherm {
namespace {

// The first print of a label is clean; its further copies carry two bars.
void AppendCopyBlock(std::string& job, int copies) {
  if (copies <= 1) return;
  job += "LS800,090,20,10,270\r\nLS800,560,20,10,740\r\nP";
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, copies - 1).ptr;
  job.append(digits, end);
  job += "\r\n";
}

}  // namespace

const CaptionedLayouts& JobLayouts(ThermalJobCache& cache, Resources& resources, int captionBase) {
  if (cache.captionBase != captionBase || !cache.layouts) {
    cache.layouts.emplace(LoadLayoutCaptions(resources, captionBase));
    cache.captionBase = captionBase;
  }
  return *cache.layouts;
}

int RenderThermalLabels(const RunOptions& run, const RecordLines& record, const CaptionedLayouts& layouts,
                        LabelRecord& label, LayoutTemplate& layout, std::string& text, std::size_t pieceSize,
                        const std::function<void(int labels)>& full) {
  // Every label of a record reads the same field lines: they are read once,
  // and each label only derives its own number and barcode.
  LoadLabelFields(record, label);
  layout.Fill(label, layouts);
  const int total = label.LabelTotal();
  int labels = 0;
  for (int index = 1; index <= total; ++index) {
    DeriveLabelFields(label, index, run.header.HeaderText, run.header.BaggageMode);
    text += "N\r\n";
    layout.Append(text, label);
    text += "P\r\n";
    const int copies = index > label.ParcelCount ? run.nbEtiquPalettes : run.nbEtiquColis;
    AppendCopyBlock(text, copies);
    labels += copies > 1 ? copies : 1;
    if (label.PresetLabel || index == total) break;
    if (text.size() >= pieceSize) {
      full(labels);
      labels = 0;
    }
  }
  return labels;
}

void BuildThermalJob(const ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record, JobSink& sink) {
  std::optional<ThermalJobCache> own;
  ThermalJobCache& cache = ctx.cache ? *ctx.cache : own.emplace();
  std::string& text = cache.text;
  text.clear();
  text.reserve(kJobPieceSize + kJobPieceSize / 4);
  text += cache.configuration.Load(ctx.platform.system, ctx.platform.profiles, run.prnType);
  if (record.size() >= kThermalHeaderLines) {
    ReadRecordHeader(record, ctx.label);
    ctx.runLog.Write(FondPageLine(ctx.label.RecordKind));
    const CaptionedLayouts& layouts = JobLayouts(cache, ctx.platform.resources, run.header.CaptionBase);
    auto handOver = [&](int labels) {
      sink.CountLabels(labels);
      sink.Write(text);
      text.clear();
    };
    sink.CountLabels(RenderThermalLabels(run, record, layouts, ctx.label, cache.layout, text, kJobPieceSize, handOver));
  }
  if (!text.empty()) sink.Write(text);
}

std::string BuildThermalJob(const ThermalJobContext& ctx, const RunOptions& run, const RecordLines& record) {
  StringJobSink job;
  BuildThermalJob(ctx, run, record, job);
  return std::move(job.bytes);
}

}  // namespace imptherm
