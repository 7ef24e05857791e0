#include "platform/win32/win32_ui.h"

#include "platform/error.h"
#include "platform/win32/cp1252.h"
#include "platform/win32/win32_system.h"

namespace imptherm::win32 {
namespace {

constexpr wchar_t kMessageTitle[] = L"ImpThermOrvane.ocx";

// The print run closes the window; a person cannot (Alt+F4 included).
LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) return 0;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void RegisterProgressClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  if (::GetClassInfoExW(instance, kProgressWindowClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ProgressProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kProgressWindowClass;
  if (!::RegisterClassExW(&wc))
    throw PlatformError("cannot register the progress window: " + LastErrorText(::GetLastError()));
}

// The run holds the thread, so the window only shows what was painted
// before the next long step: paint it and its memo now.
void PaintPending(HWND window) { ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }

class EditMemo final : public Memo {
 public:
  explicit EditMemo(HWND edit) : edit_(edit) {}
  // Every line ends with CR LF, so the next one always starts a line of its own.
  void AddLine(const std::string& line) override {
    const int length = ::GetWindowTextLengthW(edit_);
    const std::wstring text = Widen(line) + L"\r\n";
    ::SendMessageW(edit_, EM_SETSEL, length, length);
    ::SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    PaintPending(::GetParent(edit_));
  }
  void Clear() override { ::SetWindowTextW(edit_, L""); }

 private:
  HWND edit_;
};

class Win32ProgressWindow final : public ProgressWindow {
 public:
  Win32ProgressWindow(HINSTANCE instance, const std::string& caption) {
    RegisterProgressClass(instance);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kProgressWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kProgressHeight) / 2;
    // Caption and dialog frame but no system menu: no title-bar buttons at all.
    window_ =
        ::CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressWindowClass, Widen(caption).c_str(), WS_POPUP | WS_CAPTION, x,
                          y, kProgressWidth, kProgressHeight, nullptr, nullptr, instance, nullptr);
    if (!window_) throw PlatformError("cannot create the progress window: " + LastErrorText(::GetLastError()));
    RECT client{};
    ::GetClientRect(window_, &client);
    edit_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 0, 0,
                              client.right - 2, client.bottom - 2, window_, nullptr, instance, nullptr);
    if (!edit_) {
      ::DestroyWindow(window_);
      throw PlatformError("cannot create the progress memo: " + LastErrorText(::GetLastError()));
    }
    HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    ::ReleaseDC(nullptr, screen);
    font_ = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    if (font_) ::SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    memo_ = std::make_unique<EditMemo>(edit_);
    ::ShowWindow(window_, SW_SHOW);
    PaintPending(window_);
  }
  ~Win32ProgressWindow() override {
    ::DestroyWindow(window_);
    if (font_) ::DeleteObject(font_);
  }
  Win32ProgressWindow(const Win32ProgressWindow&) = delete;
  Win32ProgressWindow& operator=(const Win32ProgressWindow&) = delete;
  Memo& memo() override { return *memo_; }

 private:
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HFONT font_ = nullptr;
  std::unique_ptr<EditMemo> memo_;
};

UINT IconFlag(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return MB_ICONINFORMATION;
    case MessageIcon::Warning: return MB_ICONWARNING;
    case MessageIcon::Error: return MB_ICONERROR;
  }
  return 0;
}

}  // namespace

void UnregisterProgressClass(HINSTANCE instance) { ::UnregisterClassW(kProgressWindowClass, instance); }

std::unique_ptr<ProgressWindow> Win32Ui::OpenProgressWindow(const std::string& caption) {
  return std::make_unique<Win32ProgressWindow>(instance_, caption);
}

void Win32Ui::ShowMessage(const std::string& text, MessageIcon icon) {
  ::MessageBoxW(::GetActiveWindow(), Widen(text).c_str(), kMessageTitle, MB_OK | MB_TASKMODAL | IconFlag(icon));
}

bool Win32Ui::AskYesNo(const std::string& text) {
  return ::MessageBoxW(::GetActiveWindow(), Widen(text).c_str(), kMessageTitle,
                       MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDYES;
}

void Win32Ui::SetBusyCursor(bool busy) {
  if (busy) {
    HCURSOR previous = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
    if (busyDepth_++ == 0) savedCursor_ = previous;
  } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
    ::SetCursor(savedCursor_ ? savedCursor_ : ::LoadCursor(nullptr, IDC_ARROW));
  }
}

void Win32Ui::SetPanelCaption(const std::string& caption) {
  if (panelCaption) panelCaption(caption);
}

// Only WM_QUIT is taken from the queue, and put back for the host's own
// loop: dispatching the page's messages here would let its scripts call into
// the control in the middle of a run. Asking the queue costs a call into the
// system, so it is asked at most every 50 ms.
bool Win32Ui::StopRequested() {
  const DWORD now = ::GetTickCount();
  if (now - lastStopCheck_ < 50) return false;
  lastStopCheck_ = now;
  MSG msg;
  if (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return true;
  }
  return false;
}

}  // namespace imptherm::win32
