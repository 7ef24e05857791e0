#include "platform/posix/terminal_proxy_dialog.h"

#include "base/text.h"
#include "platform/error.h"

namespace imptherm::posix {
namespace {

const char kTitle[] = "Param\xE8tres d'authentification Proxy";
const char kMessage[] = "Veuillez saisir les param\xE8tres d'authentification de votre proxy :";
// An empty answer keeps a field; a lone "-" empties it.
const char kFieldHint[] =
    "  (Entr\xE9"
    "e : garder, - : vider)";
const char kConfirm[] = "Confirmez-vous l'abandon de la saisie des param\xE8tres d'authentification du proxy ?";

}  // namespace

void TerminalProxyDialog::Show(ProxyDialogFields& fields) {
  if (!ui_.interactive()) return;
  ui_.Print(std::string("[") + kTitle + "]");
  ui_.Print(kMessage);
  // The focus moves field by field as Enter moves it in the window.
  enum Focus { User, Password, Domain, Buttons } focus = User;
  std::string* const edits[] = {&fields.user, &fields.password, &fields.domain};
  const char* const labels[] = {"User : ", "Password : ", "Domaine : "};
  for (;;) {
    if (focus != Buttons) {
      std::string* edit = edits[focus];
      // The domain may come from the page.
      ui_.Print(std::string(labels[focus]) + "[" + VisibleControls(*edit) + "]" + kFieldHint);
      auto typed = ui_.ReadLine();
      if (!typed) return;  // the terminal went away: the fields stay as they are
      if (*typed == "-")
        edit->clear();
      else if (!typed->empty())
        *edit = *typed;
      focus = static_cast<Focus>(focus + 1);
      continue;
    }
    ui_.Print("  [v = Valider, a = Abandonner]");
    auto choice = ui_.ReadLine();
    if (!choice) return;
    if (*choice == "v" || *choice == "V") {
      if (TrimBlanks(fields.user).empty()) {
        focus = User;
      } else if (TrimBlanks(fields.password).empty()) {
        focus = Password;
      } else {
        return;
      }
    } else if (*choice == "a" || *choice == "A") {
      if (ui_.AskYesNo(kConfirm)) return;
      focus = User;
    }
  }
}

}  // namespace imptherm::posix
