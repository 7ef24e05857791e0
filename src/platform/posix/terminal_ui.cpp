#include "platform/posix/terminal_ui.h"

#include <iostream>

#include "base/cp1252.h"

namespace imptherm::posix {
namespace {

class TerminalMemo final : public Memo {
 public:
  explicit TerminalMemo(TerminalUi& ui) : ui_(ui) {}
  void AddLine(const std::string& line) override { ui_.Print("  " + line); }
  // A terminal cannot take back what it printed; a rule marks the fresh start.
  void Clear() override { ui_.Print("  ----"); }

 private:
  TerminalUi& ui_;
};

class TerminalProgressWindow final : public ProgressWindow {
 public:
  TerminalProgressWindow(TerminalUi& ui, const std::string& caption) : ui_(ui), memo_(ui) {
    ui_.Print("[" + caption + "]");
  }
  ~TerminalProgressWindow() override { ui_.Print("[fin]"); }
  Memo& memo() override { return memo_; }

 private:
  TerminalUi& ui_;
  TerminalMemo memo_;
};

const char* IconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return "Erreur";
    case MessageIcon::Warning: return "Attention";
    default: return "Information";
  }
}

}  // namespace

void TerminalUi::Print(const std::string& text) {
  std::string line = Cp1252ToUtf8(text);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

std::optional<std::string> TerminalUi::ReadLine() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Utf8ToCp1252(line);
}

std::unique_ptr<ProgressWindow> TerminalUi::OpenProgressWindow(const std::string& caption) {
  return std::make_unique<TerminalProgressWindow>(*this, caption);
}

void TerminalUi::ShowMessage(const std::string& text, MessageIcon icon) {
  Print(std::string("<") + IconWord(icon) + "> " + text);
  if (!interactive_) return;
  Print(
      "  [OK: Entr\xE9"
      "e]");
  ReadLine();
}

bool TerminalUi::AskYesNo(const std::string& text) {
  Print("<Confirmation> " + text);
  if (!interactive_) {
    Print("  -> Oui");
    return true;
  }
  for (;;) {
    Print("  [o = Oui, n = Non]");
    auto answer = ReadLine();
    if (!answer) return true;
    if (*answer == "o" || *answer == "O") return true;
    if (*answer == "n" || *answer == "N") return false;
  }
}

}  // namespace imptherm::posix
