#pragma once
#include <windows.h>

#include "platform/canvas.h"
#include "platform/printing.h"

namespace imptherm::win32 {

// The resolution taken when a printer cannot be asked for its own.
inline constexpr int kDefaultPrinterResolution = 300;

// A canvas over any GDI device context (a printer's, a window's, a memory
// bitmap's) in its device pixels. It owns the pen, brush and font it selects
// and puts the context's own back when it goes.
class GdiCanvas final : public Canvas {
 public:
  explicit GdiCanvas(HDC dc);
  ~GdiCanvas() override;
  GdiCanvas(const GdiCanvas&) = delete;
  GdiCanvas& operator=(const GdiCanvas&) = delete;

  int ResolutionX() const override;
  int ResolutionY() const override;
  void SetPen(int width, Colour colour, PenStyle style) override;
  void SetPenWidth(int width) override;
  void SetBrush(std::optional<Colour> fill) override;
  void SetFont(const std::string& face, int points, bool bold, Colour colour) override;
  void DrawText(int x, int y, const std::string& text, std::optional<int> clipRight,
                std::optional<Colour> background) override;
  void DrawLine(int x1, int y1, int x2, int y2) override;
  void DrawRectangle(int x1, int y1, int x2, int y2) override;
  void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) override;
  void InvertRectangle(int x1, int y1, int x2, int y2) override;
  void FillPolygon(const std::vector<Point>& corners, Colour colour) override;
  void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                    Colour colour) override;

  // Selects the current objects again: a printer may reset its context when
  // a page starts.
  void Reselect();

 private:
  void ReplacePen();

  HDC dc_;
  HGDIOBJ savedPen_, savedBrush_, savedFont_;
  HPEN pen_ = nullptr;
  HBRUSH brush_ = nullptr;  // nothing: the clear brush
  HFONT font_ = nullptr;
  int penWidth_ = 1;
  Colour penColour_ = kBlack;
  PenStyle penStyle_ = PenStyle::Solid;
  Colour textColour_ = kBlack;
};

// Sheets drawn with GDI on the printer's device context, one document per
// print job through the printer's own driver.
class Win32Documents final : public DrawnDocuments {
 public:
  // What the printer's driver reports (LOGPIXELSX/Y); 300 dpi when the
  // printer cannot be asked.
  Resolution PrinterResolution(const std::string& printer) override;
  std::unique_ptr<DrawnDocument> StartDocument(const std::string& printer, const std::string& title) override;
};

// A document on a device context the caller made (a printer's or a
// metafile's): starts it and its first page. Raises PlatformError when the
// context refuses. The document deletes the context when it goes.
std::unique_ptr<DrawnDocument> StartDrawnDocument(HDC dc, const std::string& title);

}  // namespace imptherm::win32
