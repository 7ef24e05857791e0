#include "platform/win32/win32_proxy_dialog.h"

#include <vector>

#include "base/text.h"
#include "platform/win32/cp1252.h"

namespace imptherm::win32 {
namespace {

constexpr COLORREF kFocusColour = RGB(255, 255, 0);
constexpr COLORREF kMessageColour = RGB(0, 0, 128);
constexpr wchar_t kAbandonQuestion[] =
    L"Confirmez-vous l'abandon de la saisie des param\u00e8tres d'authentification du proxy ?";

struct State {
  ProxyDialogFields* fields;
  HFONT normal = nullptr;
  HFONT bold = nullptr;
  HBRUSH yellow = nullptr;
};

HFONT MakeFont(int weight) {
  return ::CreateFontW(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

HWND Add(HWND dialog, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
         int id, HFONT font) {
  HWND w = ::CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, dialog,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return w;
}

std::string FieldText(HWND dialog, int id) {
  HWND field = ::GetDlgItem(dialog, id);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(field)) + 1, L'\0');
  const int n = ::GetWindowTextW(field, text.data(), static_cast<int>(text.size()));
  return Narrow(text.data(), n);
}

void Layout(HWND dialog, State& s) {
  // The window is 306 x 205 outside, centred on the screen.
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - kProxyDialogWidth) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - kProxyDialogHeight) / 2;
  ::SetWindowPos(dialog, HWND_TOPMOST, x, y, kProxyDialogWidth, kProxyDialogHeight, 0);
  ::SetWindowTextW(dialog, kProxyDialogTitle);

  Add(dialog, L"STATIC", L"Veuillez saisir les param\u00e8tres d'authentification de votre proxy :", SS_LEFT, 0, 5, 0,
      290, 26, kLblMessag, s.bold);
  // The panel: a raised inner and a lowered outer bevel, which is the etched frame.
  Add(dialog, L"STATIC", L"", SS_ETCHEDFRAME, 0, 30, 30, 240, 95, -1, s.normal);
  // Tab order is creation order: the three fields, then the two buttons.
  const struct {
    const wchar_t* label;
    int top;
    int id;
    const std::string* text;
  } rows[] = {{L"User :", 10, kEdtUsrPxy, &s.fields->user},
              {L"Password :", 35, kEdtPwdPxy, &s.fields->password},
              {L"Domaine :", 60, kEdtDomPxy, &s.fields->domain}};
  for (const auto& row : rows) {
    Add(dialog, L"STATIC", row.label, SS_RIGHT, 0, 30 + 5, 30 + row.top + 3, 80, 13, -1, s.normal);
    Add(dialog, L"EDIT", Widen(*row.text).c_str(), WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 30 + 90, 30 + row.top,
        120, 21, row.id, s.bold);
  }
  Add(dialog, L"BUTTON", L"&Valider", WS_TABSTOP | BS_PUSHBUTTON, 0, 55, 140, 85, 25, kBtnValide, s.bold);
  Add(dialog, L"BUTTON", L"&Abandonner", WS_TABSTOP | BS_PUSHBUTTON, 0, 160, 140, 85, 25, kBtnAbando, s.bold);
}

void Focus(HWND dialog, int id) {
  ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE);
}

void Close(HWND dialog, State& s, INT_PTR result) {
  s.fields->user = FieldText(dialog, kEdtUsrPxy);
  s.fields->password = FieldText(dialog, kEdtPwdPxy);
  s.fields->domain = FieldText(dialog, kEdtDomPxy);
  ::EndDialog(dialog, result);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<State*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      s = reinterpret_cast<State*>(lParam);
      Layout(dialog, *s);
      Focus(dialog, kEdtUsrPxy);
      return FALSE;  // the focus is set
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lParam) == ::GetFocus()) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), kFocusColour);
        return reinterpret_cast<INT_PTR>(s->yellow);
      }
      return FALSE;
    case WM_CTLCOLORSTATIC:
      if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kLblMessag) {
        ::SetTextColor(reinterpret_cast<HDC>(wParam), kMessageColour);
        ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if ((code == EN_SETFOCUS || code == EN_KILLFOCUS) && id >= kEdtUsrPxy && id <= kEdtDomPxy) {
        ::InvalidateRect(reinterpret_cast<HWND>(lParam), nullptr, TRUE);
        return TRUE;
      }
      if (id == IDOK) {
        // Enter moves on to the next control, as Tab does.
        ::SendMessageW(dialog, WM_NEXTDLGCTL, 0, FALSE);
        return TRUE;
      }
      if (id == kBtnValide && code == BN_CLICKED) {
        if (TrimBlanks(FieldText(dialog, kEdtUsrPxy)).empty())
          Focus(dialog, kEdtUsrPxy);
        else if (TrimBlanks(FieldText(dialog, kEdtPwdPxy)).empty())
          Focus(dialog, kEdtPwdPxy);
        else
          Close(dialog, *s, IDOK);
        return TRUE;
      }
      if (id == kBtnAbando && code == BN_CLICKED) {
        if (::MessageBoxW(dialog, kAbandonQuestion, kProxyDialogTitle, MB_YESNO | MB_ICONQUESTION) == IDYES)
          Close(dialog, *s, IDCANCEL);
        else
          Focus(dialog, kEdtUsrPxy);
        return TRUE;
      }
      return FALSE;
    }
    default: return FALSE;
  }
}

// An empty dialog template: the controls are made in pixels when it opens.
std::vector<WORD> EmptyTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
  auto* t = reinterpret_cast<DLGTEMPLATE*>(words.data());
  t->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  t->dwExtendedStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
  return words;  // no menu, the standard class, no title: three zero words
}

}  // namespace

void Win32ProxyDialog::Show(ProxyDialogFields& fields) {
  State s{&fields, MakeFont(FW_NORMAL), MakeFont(FW_BOLD), ::CreateSolidBrush(kFocusColour)};
  const std::vector<WORD> words = EmptyTemplate();
  ::DialogBoxIndirectParamW(instance_, reinterpret_cast<const DLGTEMPLATE*>(words.data()), ::GetActiveWindow(),
                            DialogProc, reinterpret_cast<LPARAM>(&s));
  ::DeleteObject(s.yellow);
  ::DeleteObject(s.bold);
  ::DeleteObject(s.normal);
}

}  // namespace imptherm::win32
