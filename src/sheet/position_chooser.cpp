#include "sheet/position_chooser.h"

namespace imptherm {

int ScaleForResolution(int dotsPerInch) {
  if (dotsPerInch >= 600) return 6;
  if (dotsPerInch >= 300) return 3;
  return 1;
}

void PositionChooser::InitPrinterScale(PrinterObject& printer) {
  const DrawnDocuments::Resolution r = platform_.documents.PrinterResolution(printer.Current());
  resolutionX_ = r.x;
  resolutionY_ = r.y;
  scaleX_ = ScaleForResolution(r.x);
  scaleY_ = ScaleForResolution(r.y);
}

std::string PositionChooser::LoadFormCaption(int id) {
  std::string text = platform_.resources.LoadString(id + captionBase_).value_or("");
  if (text.empty()) text = platform_.resources.LoadString(id).value_or("");
  return text;
}

ChooserResult PositionChooser::Show() {
  const ChooserTexts texts{LoadFormCaption(kChooserCaptionId), LoadFormCaption(kChooserPrintId),
                           LoadFormCaption(kChooserAbandonId), LoadFormCaption(kChooserAdviceId),
                           LoadFormCaption(kChooserTopId),     LoadFormCaption(kChooserBottomId)};
  selected_ = 1;
  const std::optional<int> slot = platform_.chooser.Choose(texts, selected_);
  if (!slot) return ChooserResult::Cancel;
  // A dialog that hands back something outside the sheet has not chosen.
  if (*slot < 1 || *slot > 4) return ChooserResult::Cancel;
  selected_ = *slot;
  return ChooserResult::Ok;
}

}  // namespace imptherm
