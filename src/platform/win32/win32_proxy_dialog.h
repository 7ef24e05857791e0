#pragma once
#include <windows.h>

#include "platform/proxy_dialog.h"

namespace imptherm::win32 {

// The proxy credentials dialog (TFRMInfPxy) as a modal Win32 dialog, laid
// out in pixels. The fields' texts live in the caller's ProxyDialogFields,
// which the run keeps from one showing to the next.
class Win32ProxyDialog final : public ProxyDialog {
 public:
  explicit Win32ProxyDialog(HINSTANCE instance) : instance_(instance) {}
  void Show(ProxyDialogFields& fields) override;

 private:
  HINSTANCE instance_;
};

// What the tests look for.
inline constexpr wchar_t kProxyDialogTitle[] = L"Param\u00e8tres d'authentification Proxy";
inline constexpr int kProxyDialogWidth = 306;
inline constexpr int kProxyDialogHeight = 205;
enum ProxyDialogControl : int {
  kEdtUsrPxy = 101,
  kEdtPwdPxy = 102,
  kEdtDomPxy = 103,
  kBtnValide = 104,
  kBtnAbando = 105,
  kLblMessag = 106,
};

}  // namespace imptherm::win32
