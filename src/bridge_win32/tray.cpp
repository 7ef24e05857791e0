#include "bridge_win32/tray.h"

#include <shellapi.h>

#include <cwchar>

namespace imptherm::bridge_win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"ImpThermOrvaneBridge";
constexpr UINT kIconMessage = WM_APP + 1;
constexpr UINT kIconId = 1;
constexpr UINT_PTR kStopCommand = 100;

// The window's title names the port, so that `impthermorvane stop --port N`
// finds the one bridge among several a person may run.
std::wstring WindowTitle(int port) { return L"ImpThermOrvane bridge " + std::to_wstring(port); }

}  // namespace

TrayIcon::TrayIcon(HINSTANCE instance, int port, std::function<void()> stop)
    : instance_(instance), stop_(std::move(stop)) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.lpszClassName = kWindowClass;
  ::RegisterClassExW(&wc);
  // A hidden top-level window rather than a message-only one: only top-level
  // windows hear TaskbarCreated when Explorer restarts.
  window_ = ::CreateWindowExW(0, kWindowClass, WindowTitle(port).c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                              instance_, this);
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  tip_ = L"ImpThermOrvane : impression depuis le navigateur (port " + std::to_wstring(port) + L")";
  AddIcon();
}

TrayIcon::~TrayIcon() {
  if (!window_) return;
  if (iconShown_) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kIconId;
    ::Shell_NotifyIconW(NIM_DELETE, &data);
  }
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  ::DestroyWindow(window_);
}

void TrayIcon::AddIcon() {
  if (!window_) return;
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = kIconMessage;
  data.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  std::wcsncpy(data.szTip, tip_.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
  iconShown_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void TrayIcon::ShowMenu() {
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  ::AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, tip_.c_str());
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, kStopCommand, L"Arr\u00eater le pont d'impression");
  POINT at{};
  ::GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  ::SetForegroundWindow(window_);
  ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  ::PostMessageW(window_, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
}

void TrayIcon::Stop() {
  if (stopped_) return;
  stopped_ = true;
  if (stop_) stop_();
}

LRESULT CALLBACK TrayIcon::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TrayIcon*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && self->window_ == window) return self->Handle(message, wParam, lParam);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TrayIcon::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    AddIcon();
    return 0;
  }
  switch (message) {
    case kIconMessage:
      if (LOWORD(lParam) == WM_RBUTTONUP || LOWORD(lParam) == WM_CONTEXTMENU || LOWORD(lParam) == WM_LBUTTONUP)
        ShowMenu();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kStopCommand) Stop();
      return 0;
    case WM_CLOSE: Stop(); return 0;
    case WM_ENDSESSION:
      if (wParam) Stop();
      return 0;
  }
  return ::DefWindowProcW(window_, message, wParam, lParam);
}

HWND FindBridgeWindow(int port) { return ::FindWindowW(kWindowClass, port > 0 ? WindowTitle(port).c_str() : nullptr); }

bool AskBridgeToStop(int port) {
  HWND window = FindBridgeWindow(port);
  return window && ::PostMessageW(window, WM_COMMAND, kStopCommand, 0);
}

int RunMessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace imptherm::bridge_win32
