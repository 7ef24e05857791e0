#pragma once
#include "common/printer_object.h"
#include "platform/platform.h"

namespace imptherm {

enum class ChooserResult { Ok, Cancel };

// String resources of the chooser's texts.
inline constexpr int kChooserCaptionId = 50700;
inline constexpr int kChooserPrintId = 50632;
inline constexpr int kChooserAbandonId = 50633;
inline constexpr int kChooserAdviceId = 50701;
inline constexpr int kChooserTopId = 50702;
inline constexpr int kChooserBottomId = 50703;

// Pixels per sheet unit for a printer resolution in dots per inch.
int ScaleForResolution(int dotsPerInch);

// The dialog's picture of the sheet, 201 x 201 pixels: four squares of 100
// pixels, slot 1 top left, 2 top right, 3 bottom left, 4 bottom right.
// The slot under a click in the picture (x = 100 and y = 100 belong to the
// right column and the bottom row).
int SlotAtPoint(int x, int y);
// The grid and the four numbers, `selected` highlighted.
void DrawChooserPicture(Canvas& picture, int selected);
// One slot's number: highlighted in blue bold inside a dotted blue frame, or
// plain black on white (which erases an earlier highlight).
void DrawSlotMark(Canvas& picture, int slot, bool highlighted);

// The functions above, handed to the dialog.
class PositionChooserPicture final : public SheetPicture {
 public:
  void Draw(Canvas& picture, int selected) const override { DrawChooserPicture(picture, selected); }
  void DrawSlotMark(Canvas& picture, int slot, bool highlighted) const override {
    imptherm::DrawSlotMark(picture, slot, highlighted);
  }
  int SlotAtPoint(int x, int y) const override { return imptherm::SlotAtPoint(x, y); }
};

// The first-label position chooser (TFRMChoixEtq): made once per loaded
// module, shown before the first record of every sheet print run. It also
// keeps the scale factors of the printer that was current when it was made.
class PositionChooser {
 public:
  explicit PositionChooser(Platform& platform, int captionBase = 0) : platform_(platform), captionBase_(captionBase) {}

  // Reads the resolution of the current printer into ScaleX and ScaleY.
  void InitPrinterScale(PrinterObject& printer);
  // Every showing starts with slot 1 selected.
  ChooserResult Show();
  // The text of resource id + caption base, or of id when that is empty.
  std::string LoadFormCaption(int id);

  int selected() const { return selected_; }
  int ScaleX() const { return scaleX_; }
  int ScaleY() const { return scaleY_; }

 private:
  Platform& platform_;
  int captionBase_;
  int resolutionX_ = 0, resolutionY_ = 0;
  int scaleX_ = 1, scaleY_ = 1;
  int selected_ = 0;
  PositionChooserPicture picture_;
};

}  // namespace imptherm
