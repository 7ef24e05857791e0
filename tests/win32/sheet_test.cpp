// Checks of the Win32 sheet and printer backends under Wine on a virtual
// display: GDI drawing measured on a memory bitmap, drawn and raw documents
// through Wine's printer driver to CUPS queues, and the first-label position chooser driven the way a person would,
// from a second thread.
//
//   sheet_test PATH_OF_THE_OCX CAPTURE_FOLDER
//
// CAPTURE_FOLDER holds what the CUPS queues "Sheets" and "Thermal" of the
// runner's private CUPS server receive.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "checks.h"
#include "platform/error.h"
#include "platform/win32/cp1252.h"
#include "platform/win32/win32_chooser.h"
#include "platform/win32/win32_documents.h"
#include "platform/win32/win32_printers.h"
#include "platform/win32/win32_resources.h"
#include "screenshot.h"
#include "sheet/position_chooser.h"

using namespace imptherm;
using namespace imptherm::win32;

namespace {

// A white 24-bit bitmap in a memory context, its pixels readable.
struct Bitmap {
  static constexpr int kSize = 300;
  HDC dc = ::CreateCompatibleDC(nullptr);
  BYTE* bits = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ saved = nullptr;
  Bitmap() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    saved = ::SelectObject(dc, bitmap);
    const RECT all{0, 0, kSize, kSize};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  }
  ~Bitmap() {
    ::SelectObject(dc, saved);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
  }
  Colour At(int x, int y) const {
    ::GdiFlush();
    const BYTE* p = bits + (y * kSize + x) * 4;
    return {p[2], p[1], p[0]};
  }
  // Pixels of `colour` in the box [x1, x2) x [y1, y2).
  int Count(int x1, int y1, int x2, int y2, const std::function<bool(Colour)>& match) const {
    int n = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) n += match(At(x, y));
    return n;
  }
};

bool IsWhite(Colour c) { return c == kWhite; }
bool IsNotWhite(Colour c) { return !(c == kWhite); }
bool IsBlue(Colour c) { return c == kBlue; }

void CheckCanvas() {
  Bitmap b;
  {
    GdiCanvas canvas(b.dc);
    Check(canvas.ResolutionX() > 0 && canvas.ResolutionY() > 0, "the canvas reports its resolution");

    canvas.FillRectangle(10, 10, 20, 20, Colour{200, 0, 0});
    Check(b.At(10, 10) == Colour{200, 0, 0} && b.At(19, 19) == Colour{200, 0, 0}, "a filled area covers its corners");
    Check(IsWhite(b.At(20, 15)) && IsWhite(b.At(15, 20)), "a filled area leaves its right and bottom edges out");

    canvas.SetPen(1, kBlack, PenStyle::Solid);
    canvas.SetBrush(Colour{0, 160, 0});
    canvas.DrawRectangle(30, 10, 60, 40);
    Check(b.At(30, 10) == kBlack && b.At(59, 39) == kBlack, "a rectangle is outlined with the pen");
    Check(b.At(45, 25) == Colour{0, 160, 0}, "a rectangle is filled with the brush");
    Check(IsWhite(b.At(60, 25)), "a rectangle leaves its right edge out");
    canvas.SetBrush(std::nullopt);
    canvas.DrawRectangle(70, 10, 100, 40);
    Check(IsWhite(b.At(85, 25)) && b.At(70, 25) == kBlack, "a clear brush draws the outline only");

    canvas.SetPen(3, kBlue, PenStyle::Solid);
    canvas.DrawLine(10, 60, 110, 60);
    CheckEq(b.Count(10, 55, 110, 66, IsBlue) / 100, 3, "a line three pixels wide");
    canvas.SetPenWidth(1);
    canvas.DrawLine(10, 70, 110, 70);
    CheckEq(b.Count(10, 66, 110, 75, IsBlue), 100, "the pen width changes alone and the colour stays");
    canvas.SetPen(1, kBlack, PenStyle::Dotted);
    canvas.DrawLine(10, 80, 110, 80);
    const int dots = b.Count(10, 80, 110, 81, IsNotWhite);
    Check(dots > 20 && dots < 80, "a dotted line leaves gaps (" + std::to_string(dots) + " of 100 pixels)");

    canvas.SetFont("MS Sans Serif", 20, true, kBlack);
    canvas.DrawText(10, 100, "WWWWWWWWWWWWWWWW", 120, std::nullopt);
    Check(b.Count(10, 100, 120, 140, IsNotWhite) > 0, "text is drawn");
    CheckEq(b.Count(120, 95, Bitmap::kSize, 145, IsNotWhite), 0, "nothing is drawn right of the clipping edge");

    canvas.SetFont("MS Serif", 10, false, kWhite);
    canvas.DrawText(10, 160, "\xC9tiquette", std::nullopt, kBlue);
    Check(b.Count(10, 160, 80, 175, IsBlue) > 50, "opaque text fills its cell with the background");
    Check(b.Count(10, 160, 80, 175, IsWhite) > 0, "opaque text shows its glyphs over the background");

    // The height of a 20-point font at the canvas's resolution.
    canvas.SetFont("MS Sans Serif", 20, false, kBlack);
    canvas.DrawText(150, 200, "|", std::nullopt, std::nullopt);
    int top = -1, bottom = -1;
    for (int y = 190; y < Bitmap::kSize; ++y)
      if (b.Count(145, y, 170, y + 1, IsNotWhite) > 0) (top < 0 ? top : bottom) = y;
    const int expected = ::MulDiv(20, canvas.ResolutionY(), 72);
    Check(top >= 200 && bottom - top > expected / 2 && bottom - top <= expected,
          "a 20-point bar is about 20 points high (" + std::to_string(bottom - top + 1) + " pixels, cell " +
              std::to_string(expected) + ")");

    // What a thermal label's preview draws besides.
    canvas.FillRectangle(200, 10, 220, 30, kBlack);
    canvas.InvertRectangle(210, 20, 230, 40);
    Check(b.At(205, 15) == kBlack && IsWhite(b.At(215, 25)) && b.At(225, 35) == kBlack,
          "an inverted area turns black to white and white to black");
    canvas.FillPolygon({{200, 50}, {240, 60}, {240, 70}, {200, 60}}, kBlack);
    Check(b.At(220, 60) == kBlack && IsWhite(b.At(220, 52)) && IsWhite(b.At(220, 68)), "a slanted bar is filled");
    // Turned a quarter clockwise: the cells run down from (260, 120), the
    // glyphs stand left of x = 260.
    canvas.DrawCellText(260, 120, "MMMM", 10, 20, 1, kBlack);
    Check(b.Count(238, 118, 262, 162, IsNotWhite) > 40, "text in cells is drawn, turned");
    CheckEq(b.Count(262, 110, Bitmap::kSize, 170, IsNotWhite) + b.Count(200, 110, 238, 170, IsNotWhite) +
                b.Count(238, 162, 262, 190, IsNotWhite),
            0, "turned text stays in its cells");
  }
  // The canvas gave the context its own objects back.
  Check(::GetCurrentObject(b.dc, OBJ_PEN) == ::GetStockObject(BLACK_PEN), "the context gets its own pen back");
}

constexpr char kSheetQueue[] = "Sheets";
constexpr char kRawQueue[] = "Thermal";

std::string ReadFileText(const std::string& path) {
  std::string text;
  HANDLE h =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return text;
  char buf[65536];
  DWORD n = 0;
  while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) text.append(buf, n);
  ::CloseHandle(h);
  return text;
}

void CheckDocuments(const std::string& captureDir) {
  Win32Documents documents;
  const auto r = documents.PrinterResolution("No Such Printer");
  CheckEq(r.x, kDefaultPrinterResolution, "the resolution of a printer that cannot be asked");
  bool raised = false;
  try {
    documents.StartDocument("No Such Printer", "ImpThermOrvane");
  } catch (const PlatformError&) {
    raised = true;
  }
  Check(raised, "a document on a printer that does not exist is refused");

  Win32Printers printers;
  raised = false;
  try {
    printers.StartRawDocument("No Such Printer", "ImpThermOrvane");
  } catch (const PlatformError&) {
    raised = true;
  }
  Check(raised, "a raw document on a printer that does not exist is refused");

  // The runner gives Wine two CUPS queues whose jobs land in files here.
  const auto names = printers.List();
  std::printf("printers under Wine:");
  for (const std::string& name : names) std::printf(" %s", name.c_str());
  std::printf("\n");
  Check(names.size() == 2, "Wine lists the two printers of the private CUPS server");
  {
    // Dropped before its end, as a run cut short drops it: nothing is spooled.
    auto cut = documents.StartDocument(kSheetQueue, "ImpThermOrvane cut short");
    cut->page().FillRectangle(100, 100, 300, 300, kBlack);
  }
  {
    auto doc = documents.StartDocument(kSheetQueue, "ImpThermOrvane");
    const auto res = documents.PrinterResolution(kSheetQueue);
    Check(res.x > 0 && res.y > 0, "the sheet printer reports a resolution (" + std::to_string(res.x) + " dpi)");
    DrawChooserPicture(doc->page(), 2);
    doc->NewPage();
    doc->page().FillRectangle(100, 100, 300, 300, kBlack);
    doc->End();
  }
  // Larger than one escape: the pieces must follow each other unchanged.
  std::string job = "N\r\nA50,50,0,4,1,1,N,\"PARCEL \xC9\"\r\n";
  for (int i = 0; job.size() < 140000; ++i) job += static_cast<char>('0' + i % 43);
  job += "P1\r\n";
  {
    auto raw = printers.StartRawDocument(kRawQueue, "ImpThermOrvane");
    raw->Write(job.substr(0, 64998));
    raw->Write(job.substr(64998));
    raw->End();
  }
  // CUPS needs a moment to run the backend.
  std::string sheet, rawOut;
  for (int i = 0; i < 100 && (rawOut.size() < job.size() || sheet.find("%%EOF") == std::string::npos); ++i) {
    ::Sleep(100);
    sheet = ReadFileText(captureDir + "\\" + kSheetQueue);
    rawOut = ReadFileText(captureDir + "\\" + kRawQueue);
  }
  Check(sheet.find("%%Title: ImpThermOrvane") != std::string::npos, "the sheet job carries its title");
  Check(sheet.find("%%Pages: 2") != std::string::npos, "the sheet job has its two pages");
  Check(sheet.find("cut short") == std::string::npos, "a document dropped before its end is not printed");
  Check(rawOut.find(job) != std::string::npos, "the raw job's " + std::to_string(job.size()) +
                                                   " bytes reach the queue unchanged and in order (" +
                                                   std::to_string(rawOut.size()) + " bytes captured)");
}

// Answers the chooser from a second thread once it shows.
class Person {
 public:
  Person(std::wstring caption, std::function<void(HWND)> act) : caption_(std::move(caption)), act_(std::move(act)) {
    thread_ = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~Person() {
    ::WaitForSingleObject(thread_, 10000);
    ::CloseHandle(thread_);
  }
  bool found = false;

 private:
  static DWORD WINAPI Run(LPVOID self) {
    auto* p = static_cast<Person*>(self);
    for (int i = 0; i < 200; ++i) {
      HWND w = ::FindWindowW(L"#32770", p->caption_.c_str());
      if (w && ::IsWindowVisible(w)) {
        p->found = true;
        ::Sleep(300);  // let it paint
        p->act_(w);
        return 0;
      }
      ::Sleep(50);
    }
    return 0;
  }
  std::wstring caption_;
  std::function<void(HWND)> act_;
  HANDLE thread_;
};

HWND PictureOf(HWND dialog) { return ::FindWindowExW(dialog, nullptr, kChooserPictureClass, nullptr); }

void Click(HWND picture, int x, int y) {
  ::SendMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  ::SendMessageW(picture, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Blue pixels of the picture inside one slot's square. The picture paints itself into a memory
// bitmap: what the screen shows lags behind under a virtual X display.
int BlueIn(HWND picture, int slot) {
  const int x0 = slot == 1 || slot == 3 ? 0 : 100, y0 = slot <= 2 ? 0 : 100;
  HDC screen = ::GetDC(picture);
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 200, 200);
  ::ReleaseDC(picture, screen);
  HGDIOBJ saved = ::SelectObject(dc, bitmap);
  ::SendMessageW(picture, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  int n = 0;
  for (int y = y0; y < y0 + 100; y += 1)
    for (int x = x0; x < x0 + 100; x += 1) n += ::GetPixel(dc, x, y) == RGB(0, 0, 255);
  ::SelectObject(dc, saved);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return n;
}

void Key(HWND dialog, UINT vk) {
  HWND target = ::GetDlgItem(dialog, kChooserPrintButton);
  ::PostMessageW(target, WM_KEYDOWN, vk, 0);
  ::PostMessageW(target, WM_KEYUP, vk, 0xC0000000);
}

ChooserTexts LoadTexts(const char* ocx) {
  ChooserTexts texts;
  HMODULE module = ::LoadLibraryExA(ocx, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  Check(module != nullptr, std::string("load ") + ocx);
  if (!module) return texts;
  Win32Resources resources(module);
  texts.caption = resources.LoadString(kChooserCaptionId).value_or("");
  texts.printButton = resources.LoadString(kChooserPrintId).value_or("");
  texts.abandonButton = resources.LoadString(kChooserAbandonId).value_or("");
  texts.advice = resources.LoadString(kChooserAdviceId).value_or("");
  texts.top = resources.LoadString(kChooserTopId).value_or("");
  texts.bottom = resources.LoadString(kChooserBottomId).value_or("");
  ::FreeLibrary(module);
  return texts;
}

// A frame window standing for the browser that hosts the control.
HWND MakeFrame() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SheetTestFrame";
  ::RegisterClassW(&wc);
  return ::CreateWindowW(L"SheetTestFrame", L"browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 500, nullptr,
                         nullptr, wc.hInstance, nullptr);
}

void CheckChooser(const char* ocx) {
  const ChooserTexts texts = LoadTexts(ocx);
  CheckEq(texts.caption, "Positionnement 1\xE8re \xE9tiquette", "the chooser's caption from the string table");
  const std::wstring caption = Widen(texts.caption);

  Win32Chooser chooser(::GetModuleHandleW(nullptr));
  const PositionChooserPicture drawing;
  HWND frame = MakeFrame();
  HWND child =
      ::CreateWindowW(L"STATIC", L"page", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, frame, nullptr, nullptr, nullptr);
  chooser.hostWindow = [child] { return child; };
  {
    std::string seen;
    bool frameDisabled = false, ownedByFrame = false;
    int blue1 = -1, blue2 = -1, blue4 = -1, blue4After = -1;
    Person person(caption, [&](HWND dialog) {
      HWND picture = PictureOf(dialog);
      wchar_t text[64] = {};
      ::GetWindowTextW(::GetDlgItem(dialog, kChooserPrintButton), text, 64);
      seen = Narrow(text);
      frameDisabled = !::IsWindowEnabled(frame);
      ownedByFrame = ::GetWindow(dialog, GW_OWNER) == frame;
      RECT r{};
      ::GetWindowRect(dialog, &r);
      CheckEq(r.right - r.left, 270, "the chooser's width");
      CheckEq(r.bottom - r.top, 340, "the chooser's height");
      blue1 = BlueIn(picture, 1);
      SaveWindowPicture(dialog, "artifacts\\chooser-shown.bmp");
      Click(picture, 150, 150);
      blue4 = BlueIn(picture, 4);
      Click(picture, 100, 50);  // x = 100 is the right column
      blue4After = BlueIn(picture, 4);
      blue2 = BlueIn(picture, 2);
      Check(SaveWindowPicture(dialog, "artifacts\\chooser-slot2.bmp"), "picture of the chooser");
      ::SendMessageW(::GetDlgItem(dialog, kChooserPrintButton), BM_CLICK, 0, 0);
    });
    const auto chosen = chooser.Choose(texts, drawing, 1);
    Check(person.found, "the chooser shows with its caption");
    CheckEq(seen, "&Imprimer", "the print button's text");
    Check(blue1 > 0, "slot 1 is highlighted when the chooser opens");
    Check(blue4 > 0, "a click in the bottom right square highlights slot 4");
    CheckEq(blue4After, 0, "slot 4 returns to plain when slot 2 is chosen");
    Check(blue2 > 0, "slot 2 is highlighted");
    CheckEq(chosen.value_or(0), 2, "Imprimer returns the slot clicked last");
    Check(frameDisabled && ownedByFrame, "the host's frame owns the chooser and is disabled while it is up");
    Check(::IsWindowEnabled(frame), "the frame is enabled again after Imprimer");
  }
  {
    Person person(caption, [](HWND dialog) { Key(dialog, VK_RETURN); });
    CheckEq(chooser.Choose(texts, drawing, 1).value_or(0), 1, "Enter prints from slot 1 at a new showing");
  }
  {
    Person person(caption, [](HWND dialog) {
      Click(PictureOf(dialog), 10, 150);
      Key(dialog, VK_ESCAPE);
    });
    Check(!chooser.Choose(texts, drawing, 1).has_value(), "Esc abandons");
    Check(::IsWindowEnabled(frame), "the frame is enabled again after an abandon");
  }
  chooser.hostWindow = nullptr;
  ::DestroyWindow(frame);
  {
    Person person(caption, [](HWND dialog) { ::PostMessageW(dialog, WM_CLOSE, 0, 0); });
    Check(!chooser.Choose(texts, drawing, 1).has_value(), "the close box abandons");
  }
  {
    Person person(caption,
                  [](HWND dialog) { ::SendMessageW(::GetDlgItem(dialog, kChooserAbandonButton), BM_CLICK, 0, 0); });
    Check(!chooser.Choose(texts, drawing, 1).has_value(), "Abandonner abandons");
  }
  UnregisterChooserClass(::GetModuleHandleW(nullptr));
}

// At the screen's resolution (the runner sets Wine's): every place and size
// scaled from 96 dpi, the advice's two lines inside their label, a click
// still selects by the picture's own squares.
void CheckChooserAt(const char* ocx, int dpi) {
  HDC screen = ::GetDC(nullptr);
  CheckEq(::GetDeviceCaps(screen, LOGPIXELSY), dpi, "the screen's resolution");
  ::ReleaseDC(nullptr, screen);
  const ChooserTexts texts = LoadTexts(ocx);
  Win32Chooser chooser(::GetModuleHandleW(nullptr));
  const PositionChooserPicture drawing;
  auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, dpi, 96); };
  Person person(Widen(texts.caption), [&](HWND dialog) {
    RECT r{};
    ::GetWindowRect(dialog, &r);
    CheckEq(r.right - r.left, scaled(270), "the chooser's width");
    CheckEq(r.bottom - r.top, scaled(340), "the chooser's height");
    const struct {
      HWND window;
      int x, y, w, h;
    } children[] = {
        {::GetDlgItem(dialog, kChooserAdviceLabel), 3, 5, 240, 26},
        {::GetDlgItem(dialog, kChooserTopLabel), 180, 35, 50, 13},
        {PictureOf(dialog), 30, 50, 201, 201},
        {::GetDlgItem(dialog, kChooserBottomLabel), 180, 252, 50, 13},
        {::GetDlgItem(dialog, kChooserPrintButton), 20, 275, 90, 25},
        {::GetDlgItem(dialog, kChooserAbandonButton), 155, 275, 90, 25},
    };
    for (const auto& c : children) {
      RECT cr{};
      ::GetWindowRect(c.window, &cr);
      ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&cr), 2);
      const RECT want{scaled(c.x), scaled(c.y), scaled(c.x) + scaled(c.w), scaled(c.y) + scaled(c.h)};
      Check(::EqualRect(&cr, &want), "child " + std::to_string(::GetDlgCtrlID(c.window)) + " at its scaled place");
    }
    HWND advice = ::GetDlgItem(dialog, kChooserAdviceLabel);
    RECT text{};
    ::GetClientRect(advice, &text);
    const int height = text.bottom;
    HDC dc = ::GetDC(advice);
    HGDIOBJ saved = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(advice, WM_GETFONT, 0, 0)));
    const std::wstring wide = Widen(texts.advice);
    ::DrawTextW(dc, wide.c_str(), -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, saved);
    ::ReleaseDC(advice, dc);
    Check(text.bottom <= height,
          "the advice fits its label (" + std::to_string(text.bottom) + " of " + std::to_string(height) + " pixels)");
    Click(PictureOf(dialog), scaled(150), scaled(150));
    SaveWindowPicture(dialog, ("artifacts\\chooser-" + std::to_string(dpi) + "dpi.bmp").c_str());
    ::SendMessageW(::GetDlgItem(dialog, kChooserPrintButton), BM_CLICK, 0, 0);
  });
  CheckEq(chooser.Choose(texts, drawing, 1).value_or(0), 4, "a click in the scaled picture selects slot 4");
  UnregisterChooserClass(::GetModuleHandleW(nullptr));
}

}  // namespace

int main(int argc, char** argv) {
  // As the browser that hosts the control: aware of the screen's resolution.
  ::SetProcessDPIAware();
  if (argc == 4 && std::string(argv[2]) == "dpi") {
    CheckChooserAt(argv[1], std::atoi(argv[3]));
    std::printf("chooser at %s dpi: %d checks, %d failed\n", argv[3], g_checks, g_failures);
    return g_failures == 0 ? 0 : 1;
  }
  if (argc != 3) {
    std::printf("usage: sheet_test PATH_OF_THE_OCX CAPTURE_FOLDER\n");
    return 2;
  }
  CheckCanvas();
  CheckDocuments(argv[2]);
  CheckChooser(argv[1]);
  std::printf("sheet: %d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
