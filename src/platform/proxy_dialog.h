#pragma once
#include <string>

namespace imptherm {

// The three fields of the proxy credentials dialog, as they stand.
struct ProxyDialogFields {
  std::string user;
  std::string password;
  std::string domain;
};

// The proxy credentials dialog (TFRMInfPxy). Show is modal: it returns once
// the person closed it with Valider (user and password not blank) or with a
// confirmed Abandonner; `fields` then hold what the dialog shows. Where
// nobody can answer, nothing is shown and the fields stay as they are.
class ProxyDialog {
 public:
  virtual ~ProxyDialog() = default;
  virtual void Show(ProxyDialogFields& fields) = 0;
};

}  // namespace imptherm
