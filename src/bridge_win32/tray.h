#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace imptherm::bridge_win32 {

// The bridge's hidden window and its icon in the notification area. The
// icon's menu, `impthermorvane stop` and the end of the session all reach
// the window as the stop command, which calls `stop` once.
class TrayIcon {
 public:
  TrayIcon(HINSTANCE instance, int port, std::function<void()> stop);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // False when the shell has no notification area (the bridge runs anyway).
  bool iconShown() const { return iconShown_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void AddIcon();
  void ShowMenu();
  void Stop();

  HINSTANCE instance_;
  std::function<void()> stop_;
  HWND window_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool iconShown_ = false;
  bool stopped_ = false;
  std::wstring tip_;
};

// The window of the bridge listening on `port` (0: on any port), found by
// another process of the same session.
HWND FindBridgeWindow(int port);
// Asks that bridge to stop, as its menu does. False when none runs there.
bool AskBridgeToStop(int port);

// Runs the calling thread's messages until WM_QUIT; returns its code.
int RunMessageLoop();

}  // namespace imptherm::bridge_win32
