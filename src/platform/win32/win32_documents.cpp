#include "platform/win32/win32_documents.h"

#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_handles.h"

namespace imptherm::win32 {
namespace {

COLORREF Ref(Colour c) { return RGB(c.r, c.g, c.b); }

// Swaps a GDI object into the context and deletes the one it replaces.
template <typename T>
void Replace(HDC dc, T& current, T next) {
  ::SelectObject(dc, next);
  if (current) ::DeleteObject(current);
  current = next;
}

class Win32DrawnDocument final : public DrawnDocument {
 public:
  explicit Win32DrawnDocument(UniqueDc dc) : dc_(std::move(dc)), canvas_(dc_.get()) {}
  ~Win32DrawnDocument() override {
    if (!ended_) ::AbortDoc(dc_.get());
  }

  Canvas& page() override { return canvas_; }

  void NewPage() override {
    if (::EndPage(dc_.get()) <= 0 || ::StartPage(dc_.get()) <= 0) throw PlatformError("the printer refused a new page");
    canvas_.Reselect();
  }

  void End() override {
    if (ended_) return;
    ended_ = true;
    const bool pageEnded = ::EndPage(dc_.get()) > 0;
    if (::EndDoc(dc_.get()) <= 0 || !pageEnded) throw PlatformError("the printer did not take the document");
  }

 private:
  // Deleted after the canvas has put its objects back.
  UniqueDc dc_;
  GdiCanvas canvas_;
  bool ended_ = false;
};

}  // namespace

GdiCanvas::GdiCanvas(HDC dc)
    : dc_(dc),
      savedPen_(::GetCurrentObject(dc, OBJ_PEN)),
      savedBrush_(::GetCurrentObject(dc, OBJ_BRUSH)),
      savedFont_(::GetCurrentObject(dc, OBJ_FONT)) {
  ReplacePen();
  SetBrush(std::nullopt);
  SetFont("MS Sans Serif", 8, false, kBlack);
}

GdiCanvas::~GdiCanvas() {
  ::SelectObject(dc_, savedPen_);
  ::SelectObject(dc_, savedBrush_);
  ::SelectObject(dc_, savedFont_);
  if (pen_) ::DeleteObject(pen_);
  if (brush_) ::DeleteObject(brush_);
  if (font_) ::DeleteObject(font_);
}

int GdiCanvas::ResolutionX() const { return ::GetDeviceCaps(dc_, LOGPIXELSX); }
int GdiCanvas::ResolutionY() const { return ::GetDeviceCaps(dc_, LOGPIXELSY); }

void GdiCanvas::ReplacePen() {
  const int style = penStyle_ == PenStyle::Dotted ? PS_DOT : PS_SOLID;
  Replace(dc_, pen_, ::CreatePen(style, penWidth_, Ref(penColour_)));
}

void GdiCanvas::SetPen(int width, Colour colour, PenStyle style) {
  penWidth_ = width;
  penColour_ = colour;
  penStyle_ = style;
  ReplacePen();
}

void GdiCanvas::SetPenWidth(int width) {
  penWidth_ = width;
  ReplacePen();
}

void GdiCanvas::SetBrush(std::optional<Colour> fill) {
  if (!fill) {
    ::SelectObject(dc_, ::GetStockObject(NULL_BRUSH));
    if (brush_) ::DeleteObject(brush_);
    brush_ = nullptr;
    return;
  }
  Replace(dc_, brush_, ::CreateSolidBrush(Ref(*fill)));
}

void GdiCanvas::SetFont(const std::string& face, int points, bool bold, Colour colour) {
  LOGFONTA lf{};
  // A negative height asks for the character height, which is what a point
  // size measures.
  lf.lfHeight = -::MulDiv(points, ResolutionY(), 72);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = ANSI_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | (face == "MS Serif" ? FF_ROMAN : FF_SWISS);
  lstrcpynA(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  Replace(dc_, font_, ::CreateFontIndirectA(&lf));
  textColour_ = colour;
}

void GdiCanvas::Reselect() {
  ::SelectObject(dc_, pen_);
  ::SelectObject(dc_, brush_ ? static_cast<HGDIOBJ>(brush_) : ::GetStockObject(NULL_BRUSH));
  ::SelectObject(dc_, font_);
}

void GdiCanvas::DrawText(int x, int y, const std::string& text, std::optional<int> clipRight,
                         std::optional<Colour> background) {
  ::SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ::SetTextColor(dc_, Ref(textColour_));
  ::SetBkMode(dc_, background ? OPAQUE : TRANSPARENT);
  if (background) ::SetBkColor(dc_, Ref(*background));
  UINT options = 0;
  RECT clip{};
  if (clipRight) {
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc_, &tm);
    clip = {x, y, *clipRight, y + tm.tmHeight};
    options |= ETO_CLIPPED;
  }
  ::ExtTextOutA(dc_, x, y, options, clipRight ? &clip : nullptr, text.data(), static_cast<UINT>(text.size()), nullptr);
}

void GdiCanvas::DrawLine(int x1, int y1, int x2, int y2) {
  ::MoveToEx(dc_, x1, y1, nullptr);
  ::LineTo(dc_, x2, y2);
}

void GdiCanvas::DrawRectangle(int x1, int y1, int x2, int y2) { ::Rectangle(dc_, x1, y1, x2, y2); }

void GdiCanvas::FillRectangle(int x1, int y1, int x2, int y2, Colour colour) {
  HBRUSH b = ::CreateSolidBrush(Ref(colour));
  const RECT r{x1, y1, x2, y2};
  ::FillRect(dc_, &r, b);
  ::DeleteObject(b);
}

void GdiCanvas::InvertRectangle(int x1, int y1, int x2, int y2) {
  if (x2 > x1 && y2 > y1) ::PatBlt(dc_, x1, y1, x2 - x1, y2 - y1, DSTINVERT);
}

void GdiCanvas::FillPolygon(const std::vector<Point>& corners, Colour colour) {
  if (corners.size() < 3) return;
  std::vector<POINT> points;
  for (const Point& p : corners) points.push_back({p.x, p.y});
  HBRUSH b = ::CreateSolidBrush(Ref(colour));
  HGDIOBJ oldBrush = ::SelectObject(dc_, b);
  HGDIOBJ oldPen = ::SelectObject(dc_, ::GetStockObject(NULL_PEN));
  ::Polygon(dc_, points.data(), static_cast<int>(points.size()));
  ::SelectObject(dc_, oldPen);
  ::SelectObject(dc_, oldBrush);
  ::DeleteObject(b);
}

// A fixed-pitch TrueType face at the cell's height and width; every
// character's advance is given, so the printer's pitch holds.
void GdiCanvas::DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                             Colour colour) {
  if (text.empty() || cellWidth <= 0 || cellHeight <= 0) return;
  LOGFONTA lf{};
  lf.lfHeight = cellHeight;
  lf.lfWidth = cellWidth;
  // GDI turns counter-clockwise, in tenths of a degree.
  lf.lfEscapement = lf.lfOrientation = (4 - quarterTurns % 4) % 4 * 900;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = ANSI_CHARSET;
  lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpynA(lf.lfFaceName, "Courier New", LF_FACESIZE);
  HFONT font = ::CreateFontIndirectA(&lf);
  HGDIOBJ old = ::SelectObject(dc_, font);
  ::SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ::SetTextColor(dc_, Ref(colour));
  ::SetBkMode(dc_, TRANSPARENT);
  const std::vector<INT> advances(text.size(), cellWidth);
  ::ExtTextOutA(dc_, x, y, 0, nullptr, text.data(), static_cast<UINT>(text.size()), advances.data());
  ::SelectObject(dc_, old);
  ::DeleteObject(font);
}

DrawnDocuments::Resolution Win32Documents::PrinterResolution(const std::string& printer) {
  HDC ic = ::CreateICA(nullptr, printer.c_str(), nullptr, nullptr);
  if (!ic) return {kDefaultPrinterResolution, kDefaultPrinterResolution};
  Resolution r{::GetDeviceCaps(ic, LOGPIXELSX), ::GetDeviceCaps(ic, LOGPIXELSY)};
  ::DeleteDC(ic);
  if (r.x <= 0 || r.y <= 0) return {kDefaultPrinterResolution, kDefaultPrinterResolution};
  return r;
}

std::unique_ptr<DrawnDocument> Win32Documents::StartDocument(const std::string& printer, const std::string& title) {
  HDC dc = ::CreateDCA(nullptr, printer.c_str(), nullptr, nullptr);
  if (!dc) throw PlatformError("cannot open the printer " + printer);
  return StartDrawnDocument(dc, title);
}

std::unique_ptr<DrawnDocument> StartDrawnDocument(HDC dc, const std::string& title) {
  UniqueDc owned(dc);
  DOCINFOA info{};
  info.cbSize = sizeof info;
  info.lpszDocName = title.c_str();
  if (::StartDocA(dc, &info) <= 0) throw PlatformError("the printer did not start the document " + title);
  if (::StartPage(dc) <= 0) {
    ::AbortDoc(dc);
    throw PlatformError("the printer did not start the first page of " + title);
  }
  return std::make_unique<Win32DrawnDocument>(std::move(owned));
}

}  // namespace imptherm::win32
