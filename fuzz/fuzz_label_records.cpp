// Label data lines of any bytes through grouping, the record header, the
// fields, the derived fields and the layouts, as the thermal path reads them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/label_record.h"
#include "labels/layouts.h"
#include "platform/posix/builtin_resources.h"

using namespace imptherm;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool HasControl(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 32) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static posix::BuiltinResources resources;
  static const LayoutCaptions captions = LoadLayoutCaptions(resources, 0);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool baggage = size > 0 && (data[0] & 1);

  DataLines lines;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    at = end + 1;
  }

  LabelRecord label;
  RecordLines record;
  for (std::size_t index = 0; index < lines.size();) {
    const std::size_t next = GroupRecordLines(lines, index, record);
    Check(next > index);
    index = next;
    if (record.size() < 6) continue;
    ReadRecordHeader(record, label);
    Check(label.RecordKind.size() <= 10 && label.BarcodePrefix.size() <= 10);
    // A few labels tell as much as thousands would.
    for (int i = 1; i <= label.LabelTotal() && i <= 3; ++i) {
      LoadLabelFields(record, label);
      Check(label.Fields[6].size() <= 15);
      for (const std::string& field : label.Fields) Check(field.size() <= 255);
      DeriveLabelFields(label, i, "HEADER", baggage);
      const std::string layout = RenderLayout(label, captions);
      Check(layout.empty() || (layout.size() >= 2 && layout.compare(layout.size() - 2, 2, "\r\n") == 0));
      if (label.PresetLabel) break;
    }
  }

  const std::string folded = FoldAccents(text);
  Check(folded.size() <= 255 && !HasControl(folded));
  Check(TrimFoldCut(text, 27).size() <= 27);
  const int day = DayOfYearFromDate(text);
  Check((day >= 1 && day <= 366) || day == 999);
  const std::string spaced = SpaceBarcodeText(text);
  Check(spaced == text || (text.size() == 32 && spaced.size() == 40));
  Check(AppendCheckDigit(text).size() == text.size() + 1);
  return 0;
}
