#pragma once
#include <string>

#include "platform/chooser.h"
#include "platform/posix/terminal_ui.h"

namespace imptherm::posix {

// The sheet as the terminal shows it: the dialog's texts around a 2 x 2
// grid of the numbered slots, the selected one in brackets, "HAUT" above and
// "BAS" below on the right.
std::string ChooserPicture(const ChooserTexts& texts, int selected);

// The position chooser on the terminal. A person answers line by line: an
// empty line (Enter) prints from the selected slot, a digit 1 to 4 selects a
// slot, Esc or "q" (or the end of input) abandons. With nobody to answer the
// slot is `unattendedSlot` (the command line's --first-label).
class TerminalChooser final : public PositionChooserDialog {
 public:
  TerminalChooser(TerminalUi& ui, int unattendedSlot) : ui_(ui), unattendedSlot_(unattendedSlot) {}
  std::optional<int> Choose(const ChooserTexts& texts, const SheetPicture& sheet, int selected) override;

 private:
  TerminalUi& ui_;
  int unattendedSlot_;
};

}  // namespace imptherm::posix
