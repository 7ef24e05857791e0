#include "sheet/position_chooser.h"

#include "platform/error.h"

namespace imptherm {

int ScaleForResolution(int dotsPerInch) {
  if (dotsPerInch >= 600) return 6;
  if (dotsPerInch >= 300) return 3;
  return 1;
}

int SlotAtPoint(int x, int y) { return (y < 100 ? 1 : 3) + (x < 100 ? 0 : 1); }

void DrawChooserPicture(Canvas& picture, int selected) {
  picture.SetPen(1, kBlack, PenStyle::Solid);
  picture.SetBrush(kWhite);
  picture.DrawRectangle(1, 1, 100, 100);
  picture.DrawRectangle(99, 1, 200, 100);
  picture.DrawRectangle(1, 99, 100, 200);
  picture.DrawRectangle(99, 99, 200, 200);
  for (int slot = 1; slot <= 4; ++slot) DrawSlotMark(picture, slot, slot == selected);
}

void DrawSlotMark(Canvas& picture, int slot, bool highlighted) {
  const int x = slot == 1 || slot == 3 ? 40 : 140;
  const int y = slot <= 2 ? 30 : 130;
  if (highlighted) {
    picture.SetPen(1, kBlue, PenStyle::Dotted);
    picture.SetBrush(kWhite);
    picture.DrawRectangle(x - 10, y - 5, x + 25, y + 35);
  } else {
    picture.FillRectangle(x - 10, y - 5, x + 25, y + 35, kWhite);
  }
  picture.SetFont("MS Sans Serif", 20, highlighted, highlighted ? kBlue : kBlack);
  picture.DrawText(x, y, std::to_string(slot), std::nullopt, std::nullopt);
}

void PositionChooser::InitPrinterScale(PrinterObject& printer) {
  std::string current;
  try {
    current = printer.Current();
  } catch (const PlatformError&) {
    // No print server to ask: the resolution of no printer in particular;
    // the sheet's document says in the run log why.
  }
  const DrawnDocuments::Resolution r = platform_.documents.PrinterResolution(current);
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
  const std::optional<int> slot = platform_.chooser.Choose(texts, picture_, selected_);
  if (!slot) return ChooserResult::Cancel;
  // A dialog that hands back something outside the sheet has not chosen.
  if (*slot < 1 || *slot > 4) return ChooserResult::Cancel;
  selected_ = *slot;
  return ChooserResult::Ok;
}

}  // namespace imptherm
