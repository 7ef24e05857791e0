// Checks of the Win32 backend, run under Wine on a virtual display: the
// system services, the string tables of the built control, the printer list
// and the windows of the user interface (found and answered the way a person
// would, from a second thread).
//
//   backend_test PATH_OF_THE_OCX
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "checks.h"
#include "platform/error.h"
#include "platform/win32/cp1252.h"
#include "platform/win32/win32_printers.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui.h"
#include "screenshot.h"

using namespace imptherm;
using namespace imptherm::win32;

namespace {

bool Throws(const std::function<void()>& f) {
  try {
    f();
  } catch (const PlatformError&) {
    return true;
  }
  return false;
}

void CheckText() {
  // Every byte that Windows-1252 defines survives the trip through UTF-16.
  std::string all;
  for (int c = 1; c < 256; ++c)
    if (c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D) all += static_cast<char>(c);
  CheckEq(Narrow(Widen(all)) == all, true, "Windows-1252 round trip");
  Check(Widen("\x80\xe9") == L"\u20ac\u00e9", "euro sign and e acute widen to their code points");
  // Never a '?' that would change what a URL means: the nearest letter.
  CheckEq(Narrow(std::wstring(L"\u0142")), "l", "a character 1252 lacks becomes its nearest letter");
}

void CheckSystem() {
  Win32System sys;
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(sizeof temp, temp);
  CheckEq(sys.TempPath(), std::string(temp), "TempPath is the system's temporary folder");

  Check(!sys.GetEnv("IMPTHERM_NOT_SET").has_value(), "an unset variable is absent");
  const std::string longValue(5000, 'x');
  sys.SetEnv("IMPTHERM_LONG", longValue);
  CheckEq(sys.GetEnv("IMPTHERM_LONG").value_or("") == longValue, true, "a 5000-character variable reads back whole");

  char windows[MAX_PATH] = {};
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  CheckEq(sys.AllUsersFallback(), std::string(windows, 2) + "\\Documents and Settings\\All Users",
          "all-users substitute on the Windows folder's drive");

  const std::string base = sys.TempPath() + "backend_test_dirs";
  const std::string nested = base + "\\one\\two/three";
  sys.CreateDirectories(nested);
  Check(sys.DirectoryExists(nested), "nested folders are created, with either separator");
  Check(!Throws([&] { sys.CreateDirectories(nested); }), "creating existing folders is no error");
  const std::string file = base + "\\file.txt";
  HANDLE h = ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ::CloseHandle(h);
  Check(!sys.DirectoryExists(file), "a file is not a folder");
  Check(Throws([&] { sys.CreateDirectories(file + "\\below"); }), "a folder below a file raises PlatformError");

  // The user's short date and long time pictures, asked for by name; the
  // clock may tick between the calls, so either side will do.
  char datePicture[80] = {}, timePicture[80] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, datePicture, sizeof datePicture);
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, timePicture, sizeof timePicture);
  auto expected = [&] {
    char date[80] = {}, time[80] = {};
    ::GetDateFormatA(LOCALE_USER_DEFAULT, 0, nullptr, datePicture, date, sizeof date);
    ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, timePicture, time, sizeof time);
    return std::string(date) + " " + time;
  };
  const std::string earlier = expected();
  const std::string stamp = sys.LocalTimeStamp();
  const std::string later = expected();
  Check(stamp == earlier || stamp == later, "time stamp: short date, blank, long time (" + stamp + ")");

  // Wine updates the tick count in steps, so the sleep is timed by the
  // performance counter and the ticks only have to lie between two readings.
  LARGE_INTEGER frequency{}, t0{}, t1{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&t0);
  sys.Sleep(60);
  ::QueryPerformanceCounter(&t1);
  Check((t1.QuadPart - t0.QuadPart) * 1000 / frequency.QuadPart >= 55, "Sleep waits as long as asked");
  const DWORD low = ::GetTickCount();
  const std::uint32_t ticks = sys.TickCount();
  const DWORD high = ::GetTickCount();
  Check(ticks - low <= high - low, "TickCount is the system's millisecond count");
}

void CheckResources(const char* ocx) {
  HMODULE module = ::LoadLibraryExA(ocx, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  Check(module != nullptr, std::string("load ") + ocx);
  if (!module) return;
  Win32Resources resources(module);
  // Every entry of the shared table is in the module, byte for byte.
  const std::map<int, std::string> table = {
#define STRING_RESOURCE(id, text) {id, text},
#include "platform/string_table.inc"
#undef STRING_RESOURCE
  };
  int missing = 0;
  for (const auto& [id, text] : table)
    if (resources.LoadString(id) != text) {
      ++missing;
      std::printf("  string %d: want \"%s\"\n", id, text.c_str());
    }
  CheckEq(missing, 0, "every string of the table is in the module");
  int captions = 0;
  for (int base : {0, 1000, 2000, 3000})
    for (int k = 1; k <= 17; ++k) captions += table.count(base + k) ? 1 : 0;
  CheckEq(captions, 68, "four banks of 17 captions");
  Check(!resources.LoadString(18).has_value(), "an id without a string is absent");
  Check(!resources.LoadString(-1).has_value() && !resources.LoadString(70000).has_value(),
        "ids outside the resource range are absent");
  ::FreeLibrary(module);
}

void CheckPrinters() {
  Win32Printers printers;
  const auto list = printers.List();
  const std::string def = printers.DefaultPrinter();
  bool listed = def.empty();
  for (const auto& p : list) listed = listed || p == def;
  Check(listed, "the default printer is one of the listed printers");
}

std::wstring WindowText(HWND w) {
  wchar_t buf[512] = {};
  ::GetWindowTextW(w, buf, 512);
  return buf;
}

// From a second thread: waits for the message box of this process titled
// like ours, remembers its text, and presses `button`.
class BoxAnswer {
 public:
  explicit BoxAnswer(int button) : button_(button) { thread_ = ::CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  ~BoxAnswer() { Wait(); }
  const std::wstring& Wait() {
    if (thread_) {
      ::WaitForSingleObject(thread_, 15000);
      ::CloseHandle(thread_);
      thread_ = nullptr;
    }
    return shown_;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* a = static_cast<BoxAnswer*>(self);
    for (int i = 0; i < 500; ++i) {
      if (HWND box = ::FindWindowW(L"#32770", L"ImpThermOrvane.ocx")) {
        if (HWND text = ::GetDlgItem(box, 0xFFFF)) a->shown_ = WindowText(text);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(a->button_, BN_CLICKED), 0);
        return 0;
      }
      ::Sleep(20);
    }
    return 1;
  }
  int button_;
  std::wstring shown_;
  HANDLE thread_ = nullptr;
};

void CheckUi() {
  Win32Ui ui(::GetModuleHandleW(nullptr));
  {
    auto window = ui.OpenProgressWindow("Progression \xe9");
    HWND w = ::FindWindowW(kProgressWindowClass, nullptr);
    Check(w != nullptr, "the progress window is open");
    if (w) {
      Check(::IsWindowVisible(w), "and visible");
      Check(WindowText(w) == L"Progression \u00e9", "its caption");
      ::SendMessageW(w, WM_CLOSE, 0, 0);
      Check(::IsWindow(w), "a person cannot close it");
      RECT r{};
      ::GetWindowRect(w, &r);
      CheckEq(r.right - r.left, 320, "outer width");
      CheckEq(r.bottom - r.top, 240, "outer height");
      CheckEq(r.left, (::GetSystemMetrics(SM_CXSCREEN) - 320) / 2, "centred across");
      CheckEq(r.top, (::GetSystemMetrics(SM_CYSCREEN) - 240) / 2, "centred down");
      const LONG style = ::GetWindowLongW(w, GWL_STYLE);
      Check(!(style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)), "no title-bar buttons, fixed");
      HWND edit = ::FindWindowExW(w, nullptr, L"Edit", nullptr);
      Check(edit != nullptr, "one memo inside");
      if (edit) {
        RECT client{}, memo{};
        ::GetClientRect(w, &client);
        ::GetWindowRect(edit, &memo);
        POINT origin{memo.left, memo.top};
        ::ScreenToClient(w, &origin);
        Check(origin.x == 0 && origin.y == 0, "memo at the top left");
        CheckEq(memo.right - memo.left, client.right - 2, "memo width");
        CheckEq(memo.bottom - memo.top, client.bottom - 2, "memo height");
        const LONG editStyle = ::GetWindowLongW(edit, GWL_STYLE);
        Check((editStyle & ES_MULTILINE) && !(editStyle & ES_AUTOHSCROLL) && !(editStyle & WS_HSCROLL),
              "multi-line memo that wraps words");
        HFONT font = reinterpret_cast<HFONT>(::SendMessageW(edit, WM_GETFONT, 0, 0));
        LOGFONTW lf{};
        if (font) ::GetObjectW(font, sizeof lf, &lf);
        HDC screen = ::GetDC(nullptr);
        const int ninePoints = -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
        ::ReleaseDC(nullptr, screen);
        CheckEq(lf.lfHeight, ninePoints, "memo font of 9 points");
        Check(lf.lfWeight == FW_NORMAL && !lf.lfItalic, "regular style");
        window->memo().AddLine("Impression en cours");
        window->memo().AddLine("Termin\xe9");
        Check(WindowText(edit) == L"Impression en cours\r\nTermin\u00e9\r\n", "memo lines");
        Check(SaveWindowPicture(w, "artifacts\\progress-window.bmp"), "picture of the progress window");
      }
    }
  }
  Check(::FindWindowW(kProgressWindowClass, nullptr) == nullptr, "destroying the object closes the window");

  {
    BoxAnswer ok(IDOK);
    ui.ShowMessage("Imprimante inexistante \xe0 cette adresse", MessageIcon::Error);
    Check(ok.Wait() == L"Imprimante inexistante \u00e0 cette adresse", "message box text");
  }
  {
    BoxAnswer no(IDNO);
    Check(!ui.AskYesNo("Continuer ?"), "No answers false");
    Check(no.Wait() == L"Continuer ?", "question text");
  }
  {
    BoxAnswer yes(IDYES);
    Check(ui.AskYesNo("Continuer ?"), "Yes answers true");
  }

  HWND host = ::CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  ui.SetBusyCursor(true);
  ui.SetBusyCursor(true);
  Check(::GetCursor() == ::LoadCursor(nullptr, IDC_WAIT), "hourglass while busy");
  ui.SetBusyCursor(false);
  Check(::GetCursor() == ::LoadCursor(nullptr, IDC_WAIT), "still busy until the outer call ends");
  ui.SetBusyCursor(false);
  Check(::GetCursor() != ::LoadCursor(nullptr, IDC_WAIT), "hourglass gone");
  ::DestroyWindow(host);

  std::string caption = "unchanged";
  ui.SetPanelCaption("nobody listens");
  ui.panelCaption = [&](const std::string& c) { caption = c; };
  ui.SetPanelCaption("ImpThermOrvane.ocx");
  CheckEq(caption, "ImpThermOrvane.ocx", "the panel caption reaches the control");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: backend_test PATH_OF_THE_OCX\n");
    return 2;
  }
  CheckText();
  CheckSystem();
  CheckResources(argv[1]);
  CheckPrinters();
  CheckUi();
  std::printf("backend: %d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
