#pragma once
#include "platform/posix/terminal_ui.h"
#include "platform/proxy_dialog.h"

namespace imptherm::posix {

// The proxy credentials dialog on the terminal: the fields are asked one
// after the other (an empty answer keeps what the field shows), then
// Valider or Abandonner. Nothing is shown when nobody can answer.
class TerminalProxyDialog final : public ProxyDialog {
 public:
  explicit TerminalProxyDialog(TerminalUi& ui) : ui_(ui) {}
  void Show(ProxyDialogFields& fields) override;

 private:
  TerminalUi& ui_;
};

}  // namespace imptherm::posix
