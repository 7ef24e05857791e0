#pragma once
#include <optional>
#include <string>

namespace imptherm {

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

// The modal first-label position chooser: a picture of the sheet with its four
// numbered slots (1 top left, 2 top right, 3 bottom left, 4 bottom right).
class PositionChooserDialog {
 public:
  virtual ~PositionChooserDialog() = default;
  // Shows the dialog with `selected` highlighted and waits. Returns the slot
  // (1 to 4) to print from, or nothing when the person abandons.
  virtual std::optional<int> Choose(const ChooserTexts& texts, int selected) = 0;
};

}  // namespace imptherm
