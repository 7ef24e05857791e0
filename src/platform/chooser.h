#pragma once
#include <optional>
#include <string>

namespace imptherm {

class Canvas;

// The texts of the first-label position chooser, Windows-1252, as the string
// resources hold them ('&' marks a button's access key).
struct ChooserTexts {
  std::string caption;
  std::string printButton;
  std::string abandonButton;
  std::string advice;
  std::string top;
  std::string bottom;
};

// The picture of the sheet for dialogs that draw it, 201 x 201 pixels: four
// squares of 100 pixels. The core draws it and knows which slot a click
// selects; the dialog only keeps and shows it.
class SheetPicture {
 public:
  virtual ~SheetPicture() = default;
  // The grid and the four numbers, `selected` highlighted.
  virtual void Draw(Canvas& picture, int selected) const = 0;
  // One slot's number, highlighted or plain (plain erases an earlier highlight).
  virtual void DrawSlotMark(Canvas& picture, int slot, bool highlighted) const = 0;
  // The slot under a click at (x, y) in the picture.
  virtual int SlotAtPoint(int x, int y) const = 0;
};

// The modal first-label position chooser: a picture of the sheet with its four
// numbered slots (1 top left, 2 top right, 3 bottom left, 4 bottom right).
class PositionChooserDialog {
 public:
  virtual ~PositionChooserDialog() = default;
  // Shows the dialog with `selected` highlighted and waits. Returns the slot
  // (1 to 4) to print from, or nothing when the person abandons. A dialog
  // that draws shows `picture`; one that does not may leave it.
  virtual std::optional<int> Choose(const ChooserTexts& texts, const SheetPicture& picture, int selected) = 0;
};

}  // namespace imptherm
