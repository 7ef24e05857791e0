#include "platform/posix/terminal_chooser.h"

namespace imptherm::posix {
namespace {

// A button text without its access key marker.
std::string Plain(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

std::string Cell(int slot, int selected) {
  const std::string n = std::to_string(slot);
  return slot == selected ? "   [" + n + "]   " : "    " + n + "    ";
}

constexpr int kGridWidth = 21;  // "+---------+---------+"

std::string RightAligned(const std::string& text) {
  const int pad = kGridWidth - static_cast<int>(text.size());
  return "  " + std::string(pad > 0 ? pad : 0, ' ') + text;
}

}  // namespace

std::string ChooserPicture(const ChooserTexts& texts, int selected) {
  const std::string rule = "  +---------+---------+\n";
  const std::string blank = "  |         |         |\n";
  std::string p = texts.caption + "\n" + texts.advice + "\n" + RightAligned(texts.top) + "\n";
  p += rule + blank + "  |" + Cell(1, selected) + "|" + Cell(2, selected) + "|\n" + blank;
  p += rule + blank + "  |" + Cell(3, selected) + "|" + Cell(4, selected) + "|\n" + blank + rule;
  p += RightAligned(texts.bottom) + "\n";
  p += "  Entr\xE9"
       "e : " +
       Plain(texts.printButton) +
       "   1 \xE0 4 : position   \xC9"
       "chap ou q : " +
       Plain(texts.abandonButton);
  return p;
}

std::optional<int> TerminalChooser::Choose(const ChooserTexts& texts, const SheetPicture&, int selected) {
  if (!ui_.interactive()) {
    ui_.Print(ChooserPicture(texts, unattendedSlot_));
    ui_.Print("  -> " + Plain(texts.printButton) + " " + std::to_string(unattendedSlot_));
    return unattendedSlot_;
  }
  for (;;) {
    ui_.Print(ChooserPicture(texts, selected));
    const std::optional<std::string> line = ui_.ReadLine();
    if (!line) return std::nullopt;
    const std::string& a = *line;
    if (a.empty()) return selected;
    if (a == "q" || a == "Q" || a.find('\x1b') != std::string::npos) return std::nullopt;
    if (a.size() == 1 && a[0] >= '1' && a[0] <= '4') {
      selected = a[0] - '0';
      continue;
    }
  }
}

}  // namespace imptherm::posix
