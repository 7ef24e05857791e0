#pragma once
#include <windows.h>

#include <functional>

#include "platform/ui.h"

namespace imptherm::win32 {

// Real Win32 windows: the progress window, message boxes, the cursor. The
// panel caption goes to whichever control is running its print run; the
// control points `panelCaption` at itself for the length of the run.
class Win32Ui final : public UserInterface {
 public:
  explicit Win32Ui(HINSTANCE instance) : instance_(instance) {}
  std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) override;
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& text) override;
  void SetBusyCursor(bool busy) override;
  void SetPanelCaption(const std::string& caption) override;
  // A control has no Ctrl-C: the host asks a thread to stop with WM_QUIT.
  bool StopRequested() override;

  std::function<void(const std::string&)> panelCaption;

 private:
  HINSTANCE instance_;
  HCURSOR savedCursor_ = nullptr;
  int busyDepth_ = 0;
  DWORD lastStopCheck_ = 0;
};

// The progress window's class lives in the module that holds this backend;
// the module unregisters it before it may be unloaded.
void UnregisterProgressClass(HINSTANCE instance);

// The progress window's class and sizes, shared with the tests that look for it.
inline constexpr wchar_t kProgressWindowClass[] = L"TImpThermProgress";
inline constexpr int kProgressWidth = 320;
inline constexpr int kProgressHeight = 240;

}  // namespace imptherm::win32
