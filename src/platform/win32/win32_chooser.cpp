#include "platform/win32/win32_chooser.h"

#include <memory>

#include "platform/error.h"
#include "platform/win32/cp1252.h"
#include "platform/win32/win32_documents.h"

namespace imptherm::win32 {
namespace {

// Places in pixels at 96 pixels per inch, scaled to the screen's.
constexpr int kWidth = 270, kHeight = 340;
constexpr int kPictureLeft = 30, kPictureTop = 50;
constexpr int kPictureId = 103;

// The sheet's picture: a white bitmap that the core draws, shown as it
// stands; a click selects the slot under it.
struct Picture {
  const SheetPicture& drawing;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ saved = nullptr;
  std::unique_ptr<GdiCanvas> canvas;
  int selected = 1;
  int dpi = 96;  // the screen's; the window is the bitmap scaled by dpi / 96

  Picture(const SheetPicture& sheet, int slot) : drawing(sheet), selected(slot) {
    HDC screen = ::GetDC(nullptr);
    dc = ::CreateCompatibleDC(screen);
    bitmap = ::CreateCompatibleBitmap(screen, kChooserPictureSize, kChooserPictureSize);
    ::ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) {
      Release();
      throw PlatformError("cannot make the picture of the position chooser");
    }
    saved = ::SelectObject(dc, bitmap);
    canvas = std::make_unique<GdiCanvas>(dc);
    canvas->FillRectangle(0, 0, kChooserPictureSize, kChooserPictureSize, kWhite);
    drawing.Draw(*canvas, selected);
  }
  ~Picture() { Release(); }

  void Release() {
    canvas.reset();
    if (saved) ::SelectObject(dc, saved);
    if (bitmap) ::DeleteObject(bitmap);
    if (dc) ::DeleteDC(dc);
  }

  void PaintOn(HDC target) const {
    const int size = ::MulDiv(kChooserPictureSize, dpi, 96);
    ::SetStretchBltMode(target, HALFTONE);
    ::SetBrushOrgEx(target, 0, 0, nullptr);
    ::StretchBlt(target, 0, 0, size, size, dc, 0, 0, kChooserPictureSize, kChooserPictureSize, SRCCOPY);
  }

  void Select(int slot) {
    if (selected >= 1) drawing.DrawSlotMark(*canvas, selected, false);
    selected = slot;
    drawing.DrawSlotMark(*canvas, selected, true);
  }
};

LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* picture = reinterpret_cast<Picture*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      if (picture) picture->PaintOn(dc);
      ::EndPaint(window, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:  // lets a capture of the dialog (or a test) read the picture as it stands
      if (picture) picture->PaintOn(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_LBUTTONDOWN:
      if (picture) {
        const int x = ::MulDiv(static_cast<short>(LOWORD(lParam)), 96, picture->dpi);
        const int y = ::MulDiv(static_cast<short>(HIWORD(lParam)), 96, picture->dpi);
        picture->Select(picture->drawing.SlotAtPoint(x, y));
        ::InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void RegisterPictureClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  if (::GetClassInfoExW(instance, kChooserPictureClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = PictureProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kChooserPictureClass;
  if (!::RegisterClassExW(&wc)) throw PlatformError("cannot register the position chooser's picture");
}

HFONT MakeFont(bool bold, bool italic) {
  HDC screen = ::GetDC(nullptr);
  const int height = -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"MS Sans Serif");
}

struct Dialog {
  HINSTANCE instance;
  const ChooserTexts* texts;
  Picture* picture;
  int dpi;
  int Scale(int pixels) const { return ::MulDiv(pixels, dpi, 96); }
  HFONT regular = nullptr, bold = nullptr, italic = nullptr;
  ~Dialog() {
    for (HFONT f : {regular, bold, italic})
      if (f) ::DeleteObject(f);
  }
};

HWND Child(HWND parent, const Dialog& d, const wchar_t* cls, const std::string& text, DWORD style, int id, int x, int y,
           int w, int h, HFONT font) {
  HWND child =
      ::CreateWindowExW(0, cls, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, d.Scale(x), d.Scale(y), d.Scale(w),
                        d.Scale(h), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), d.instance, nullptr);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

void Build(HWND window, Dialog& d) {
  const ChooserTexts& t = *d.texts;
  ::SetWindowTextW(window, Widen(t.caption).c_str());
  d.regular = MakeFont(false, false);
  d.bold = MakeFont(true, false);
  d.italic = MakeFont(false, true);
  // The outer size is what the place table gives: centred on the screen.
  const int width = d.Scale(kWidth), height = d.Scale(kHeight);
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER);
  Child(window, d, L"STATIC", t.advice, SS_LEFT | SS_NOPREFIX, kChooserAdviceLabel, 3, 5, 240, 26, d.bold);
  Child(window, d, L"STATIC", t.top, SS_RIGHT | SS_NOPREFIX, kChooserTopLabel, 180, 35, 50, 13, d.italic);
  HWND picture = Child(window, d, kChooserPictureClass, "", 0, kPictureId, kPictureLeft, kPictureTop,
                       kChooserPictureSize, kChooserPictureSize, d.regular);
  ::SetWindowLongPtrW(picture, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(d.picture));
  Child(window, d, L"STATIC", t.bottom, SS_RIGHT | SS_NOPREFIX, kChooserBottomLabel, 180, 252, 50, 13, d.italic);
  HWND print = Child(window, d, L"BUTTON", t.printButton, BS_DEFPUSHBUTTON | WS_TABSTOP, kChooserPrintButton, 20, 275,
                     90, 25, d.bold);
  Child(window, d, L"BUTTON", t.abandonButton, BS_PUSHBUTTON | WS_TABSTOP, kChooserAbandonButton, 155, 275, 90, 25,
        d.bold);
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(::LoadIconA(nullptr, IDI_APPLICATION)));
  ::SetFocus(print);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: try { Build(window, *reinterpret_cast<Dialog*>(lParam));
      } catch (const PlatformError&) {
        ::EndDialog(window, -1);
      }
      return FALSE;  // the focus is set already
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      break;
    case WM_CLOSE: ::EndDialog(window, IDCANCEL); return TRUE;
  }
  return FALSE;
}

// An empty dialog template: the controls are made in pixels when it opens.
struct alignas(DWORD) Template {
  DLGTEMPLATE head;
  WORD menu = 0, windowClass = 0, title = 0;
};

}  // namespace

void UnregisterChooserClass(HINSTANCE instance) { ::UnregisterClassW(kChooserPictureClass, instance); }

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// Keeps a window disabled for the length of the dialog and gives it back as
// it was, whatever the answer.
struct DisabledWindow {
  HWND window;
  bool wasEnabled;
  explicit DisabledWindow(HWND w) : window(w), wasEnabled(w && ::IsWindowEnabled(w)) {
    if (wasEnabled) ::EnableWindow(window, FALSE);
  }
  ~DisabledWindow() {
    if (wasEnabled) ::EnableWindow(window, TRUE);
  }
};

std::optional<int> Win32Chooser::Choose(const ChooserTexts& texts, const SheetPicture& sheet, int selected) {
  RegisterPictureClass(instance_);
  Picture picture(sheet, selected >= 1 && selected <= 4 ? selected : 1);
  picture.dpi = ScreenDpi();
  Dialog dialog{instance_, &texts, &picture, picture.dpi};
  Template tpl{};
  tpl.head.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
  // Owned by the host's top-level window, the dialog stays above it, and the
  // modal loop disables it until the dialog ends (and gives the activation
  // back to it). The progress window, when it is another window, is disabled
  // too so that it cannot be brought over the dialog.
  HWND active = ::GetActiveWindow();
  HWND host = hostWindow ? hostWindow() : nullptr;
  if (host) host = ::GetAncestor(host, GA_ROOT);
  HWND owner = host ? host : active;
  DisabledWindow progressDisabled(active != owner ? active : nullptr);
  const INT_PTR result =
      ::DialogBoxIndirectParamW(instance_, &tpl.head, owner, DialogProc, reinterpret_cast<LPARAM>(&dialog));
  if (result == -1 || result == 0) throw PlatformError("cannot show the position chooser");
  if (result != IDOK) return std::nullopt;
  return picture.selected;
}

}  // namespace imptherm::win32
