#include "labels/thermal_job.h"

#include "labels/layouts.h"
#include "labels/printer_config.h"

namespace imptherm {
namespace {

constexpr std::size_t kHeaderLines = 6;

// The first print of a label is clean; its further copies carry two bars.
void AppendCopyBlock(std::string& job, int copies) {
  if (copies <= 1) return;
  job += "LS800,090,20,10,270\r\nLS800,560,20,10,740\r\nP";
  job += std::to_string(copies - 1);
  job += "\r\n";
}

}  // namespace

std::string BuildThermalJob(ThermalJobContext& ctx, const std::string& prnType, const RecordLines& record) {
  std::string job = LoadPrinterConfiguration(ctx.platform.system, ctx.platform.profiles, prnType);
  if (record.size() < kHeaderLines) return job;
  LabelRecord& label = ctx.label;
  ReadRecordHeader(record, label);
  ctx.runLog.Write("fondPage=[" + label.RecordKind + "]");

  const LayoutCaptions captions = LoadLayoutCaptions(ctx.platform.resources, ctx.state.CaptionBase);
  for (int index = 1; index <= label.LabelTotal(); ++index) {
    // The fields come first: only they tell whether a record of too many
    // labels is a preset label after all.
    LoadLabelFields(record, label);
    if (!label.PresetLabel && label.LabelTotal() > kMaxLabelsPerRecord) {
      ctx.runLog.Write("Enregistrement " + label.RecordKind + " non imprime : " + std::to_string(label.LabelTotal()) +
                       " etiquettes demandees, au plus " + std::to_string(kMaxLabelsPerRecord));
      break;
    }
    DeriveLabelFields(label, index, ctx.state.HeaderText, ctx.state.BaggageMode);
    job += "N\r\n";
    AppendLayout(job, label, captions);
    job += "P\r\n";
    AppendCopyBlock(job, index > label.ParcelCount ? ctx.state.nbEtiquPalettes : ctx.state.nbEtiquColis);
    if (label.PresetLabel) break;
  }
  return job;
}

}  // namespace imptherm
