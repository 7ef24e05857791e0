#pragma once
#include <cstdio>
#include <optional>
#include <string>

#include "platform/posix/interrupt.h"
#include "platform/ui.h"

namespace imptherm::posix {

// The user interface on a terminal. The progress window is its caption
// followed by the memo lines as they come; boxes and questions wait for an
// answer only when someone can give one (interactive), otherwise they are
// printed and take their default at once.
class TerminalUi final : public UserInterface {
 public:
  TerminalUi(bool interactive, std::FILE* out) : interactive_(interactive), out_(out) {}

  std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  // Without a person the answer is Yes.
  bool AskYesNo(const std::string& text) override;
  void SetBusyCursor(bool) override {}
  void SetPanelCaption(const std::string&) override {}
  // Ctrl-C or SIGTERM since the handler was installed.
  bool StopRequested() override { return InterruptRequested(); }

  bool interactive() const { return interactive_; }
  // Prints one line of Windows-1252 text for the person at the terminal.
  void Print(const std::string& text);
  // Reads one line typed by the person, converted to Windows-1252; nothing
  // at end of input.
  std::optional<std::string> ReadLine();

 private:
  bool interactive_;
  std::FILE* out_;
};

}  // namespace imptherm::posix
