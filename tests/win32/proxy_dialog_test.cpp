// The proxy credentials dialog under Wine, on a virtual display: a second
// thread finds the window and answers it the way a person would (typing in
// the fields, Enter, the two buttons, the confirmation box).
#include <windows.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include "checks.h"
#include "platform/win32/cp1252.h"
#include "platform/win32/win32_proxy_dialog.h"
#include "screenshot.h"

using namespace imptherm;
using namespace imptherm::win32;

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (done()) return true;
    ::Sleep(20);
  }
  return done();
}

// The person at the screen, on a thread of its own.
class Person {
 public:
  explicit Person(std::function<void()> acts) : acts_(std::move(acts)) {
    thread_ = ::CreateThread(nullptr, 0, &Person::Run, this, 0, &id_);
  }
  ~Person() {
    ::WaitForSingleObject(thread_, 60000);
    ::CloseHandle(thread_);
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Person*>(self)->acts_();
    return 0;
  }
  std::function<void()> acts_;
  HANDLE thread_;
  DWORD id_ = 0;
};

HWND FindDialog() {
  HWND found = nullptr;
  WaitFor([&] { return (found = ::FindWindowW(L"#32770", kProxyDialogTitle)) != nullptr && ::IsWindowVisible(found); });
  return found;
}

// The confirmation box the dialog owns.
HWND FindQuestion(HWND dialog) {
  HWND box = nullptr;
  WaitFor([&] {
    box = nullptr;
    for (HWND w = ::FindWindowW(L"#32770", nullptr); w; w = ::FindWindowExW(nullptr, w, L"#32770", nullptr))
      if (w != dialog && ::GetWindow(w, GW_OWNER) == dialog && ::IsWindowVisible(w)) box = w;
    return box != nullptr;
  });
  return box;
}

std::wstring TextOf(HWND w) {
  wchar_t text[512] = {};
  ::GetWindowTextW(w, text, 512);
  return text;
}

HWND Focused(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus;
}

int FocusedId(HWND dialog) {
  int id = 0;
  WaitFor([&] { return (id = ::GetDlgCtrlID(Focused(dialog))) != 0; }, 1000);
  return id;
}

// Waits until the focus is on `id`; the dialog answers posted input later.
bool FocusComesTo(HWND dialog, int id) {
  return WaitFor([&] { return ::GetDlgCtrlID(Focused(dialog)) == id; }, 2000);
}

void Type(HWND dialog, int id, const wchar_t* text) {
  ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void Press(HWND dialog, int id) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void PressEnter(HWND dialog) {
  HWND field = Focused(dialog);
  ::PostMessageW(field, WM_KEYDOWN, VK_RETURN, 1);
  ::PostMessageW(field, WM_KEYUP, VK_RETURN, 0xC0000001);
}

COLORREF ColourInside(HWND dialog, int id) {
  ::RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_INVALIDATE);
  ::Sleep(200);
  RECT r{};
  ::GetWindowRect(::GetDlgItem(dialog, id), &r);
  HDC screen = ::GetDC(nullptr);
  // Right of centre, past any text the field holds.
  const COLORREF c = ::GetPixel(screen, r.right - 8, (r.top + r.bottom) / 2);
  ::ReleaseDC(nullptr, screen);
  return c;
}

bool IsDialogOpen(HWND dialog) { return ::IsWindow(dialog) && ::IsWindowVisible(dialog); }

void CheckValidated() {
  Win32ProxyDialog dialog(::GetModuleHandleW(nullptr));
  ProxyDialogFields fields{"", "", "ORVANE"};
  Person person([] {
    HWND d = FindDialog();
    Check(d != nullptr, "the dialog opens with its title");
    if (!d) return;
    RECT r{};
    ::GetWindowRect(d, &r);
    CheckEq(r.right - r.left, kProxyDialogWidth, "dialog width");
    CheckEq(r.bottom - r.top, kProxyDialogHeight, "dialog height");
    CheckEq(r.left, (::GetSystemMetrics(SM_CXSCREEN) - kProxyDialogWidth) / 2, "centred across");
    CheckEq(r.top, (::GetSystemMetrics(SM_CYSCREEN) - kProxyDialogHeight) / 2, "centred down");
    const LONG style = ::GetWindowLongW(d, GWL_STYLE);
    Check((style & WS_CAPTION) == WS_CAPTION && !(style & WS_SYSMENU), "a title bar without buttons");
    Check((::GetWindowLongW(d, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, "stays on top");
    Check(TextOf(::GetDlgItem(d, kLblMessag)) ==
              L"Veuillez saisir les param\u00e8tres d'authentification de votre proxy :",
          "the message");
    CheckEq(Narrow(TextOf(::GetDlgItem(d, kBtnValide))), "&Valider", "the Valider button");
    CheckEq(Narrow(TextOf(::GetDlgItem(d, kBtnAbando))), "&Abandonner", "the Abandonner button");
    CheckEq(Narrow(TextOf(::GetDlgItem(d, kEdtDomPxy))), "ORVANE", "the domain field shows the page's domain");
    CheckEq(FocusedId(d), kEdtUsrPxy, "the focus starts in the user field");
    CheckEq(ColourInside(d, kEdtUsrPxy), RGB(255, 255, 0), "the focused field is yellow");
    Check(ColourInside(d, kEdtPwdPxy) != RGB(255, 255, 0), "the other fields are not");

    // Valider wants a user name, then a password, blanks not counting.
    Type(d, kEdtUsrPxy, L"   ");
    Press(d, kBtnValide);
    ::Sleep(200);
    Check(IsDialogOpen(d) && FocusComesTo(d, kEdtUsrPxy), "Valider without a user name keeps the dialog open");
    Type(d, kEdtUsrPxy, L"agent");
    Press(d, kBtnValide);
    Check(FocusComesTo(d, kEdtPwdPxy), "Valider without a password puts the focus in its field");
    Check(IsDialogOpen(d), "and the dialog stays open");
    CheckEq(ColourInside(d, kEdtPwdPxy), RGB(255, 255, 0), "the yellow follows the focus");
    Check(ColourInside(d, kEdtUsrPxy) != RGB(255, 255, 0), "and leaves the field it left");

    // Enter moves on as Tab does.
    PressEnter(d);
    Check(FocusComesTo(d, kEdtDomPxy), "Enter moves from the password to the domain");
    PressEnter(d);
    Check(FocusComesTo(d, kBtnValide), "Enter moves from the domain to Valider");
    Check(IsDialogOpen(d), "Enter alone never closes the dialog");

    // Abandonner asks first; No goes back to the user field.
    Press(d, kBtnAbando);
    HWND box = FindQuestion(d);
    Check(box != nullptr, "Abandonner asks for confirmation");
    if (box) {
      CheckEq(Narrow(TextOf(::GetDlgItem(box, 0xFFFF))),
              "Confirmez-vous l'abandon de la saisie des param\xE8tres d'authentification du proxy ?",
              "the confirmation question");
      Check(::GetDlgItem(box, IDYES) && ::GetDlgItem(box, IDNO), "the question has Yes and No");
      ::PostMessageW(box, WM_COMMAND, IDNO, 0);
    }
    Check(FocusComesTo(d, kEdtUsrPxy), "No puts the focus back in the user field");
    Check(IsDialogOpen(d), "No keeps the dialog open");

    Type(d, kEdtPwdPxy, L"s\u00e9cret ");
    Type(d, kEdtDomPxy, L"ORV2");
    Check(SaveWindowPicture(d, "artifacts\\proxy-dialog.bmp"), "picture of the proxy dialog");
    Press(d, kBtnValide);
    Check(WaitFor([&] { return !::IsWindow(d); }), "Valider with both closes the dialog");
  });
  dialog.Show(fields);
  CheckEq(fields.user, "agent", "the user as typed");
  CheckEq(fields.password,
          "s\xE9"
          "cret ",
          "the password as typed, untrimmed");
  CheckEq(fields.domain, "ORV2", "the domain as typed");
}

void CheckAbandoned() {
  Win32ProxyDialog dialog(::GetModuleHandleW(nullptr));
  ProxyDialogFields fields{"agent", "secret", "ORVANE"};
  Person person([] {
    HWND d = FindDialog();
    if (!d) return;
    CheckEq(Narrow(TextOf(::GetDlgItem(d, kEdtUsrPxy))), "agent", "the user of the last showing is shown again");
    CheckEq(Narrow(TextOf(::GetDlgItem(d, kEdtPwdPxy))), "secret", "the password is shown as typed");
    // Escape and closing the window do nothing: only the buttons close it.
    ::PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    ::PostMessageW(d, WM_CLOSE, 0, 0);
    ::Sleep(300);
    Check(IsDialogOpen(d), "Escape and WM_CLOSE leave the dialog open");
    Type(d, kEdtUsrPxy, L"");
    Press(d, kBtnAbando);
    HWND box = FindQuestion(d);
    if (box) ::PostMessageW(box, WM_COMMAND, IDYES, 0);
    Check(WaitFor([&] { return !::IsWindow(d); }), "Yes closes the dialog");
  });
  dialog.Show(fields);
  CheckEq(fields.user, "", "an abandoned dialog gives its fields as they stand");
  CheckEq(fields.password, "secret", "the password field as it stood");
}

}  // namespace

int main() {
  CheckValidated();
  CheckAbandoned();
  std::printf("proxy_dialog_test: %d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
