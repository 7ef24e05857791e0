#pragma once
#include <cairo.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/canvas.h"
#include "platform/posix/a1_dots.h"
#include "platform/posix/cairo_canvas.h"

namespace imptherm::posix {

enum class Ink { Set, Clear, Flip };

// A character of a printer font at one cell size and turn, rendered once:
// its dots in rows of whole bytes, the first at `left`, `top` from the
// cell's corner.
struct CellGlyph {
  int left = 0, top = 0, bytes = 0, rows = 0;
  std::vector<unsigned char> dots;
  // A glyph of up to three bytes a row: each row as one word, for the
  // quick way in (a little-endian machine, the glyph inside the label).
  std::vector<std::uint32_t> words;
};
// The characters of one cell size and turn.
using CellFont = std::array<std::unique_ptr<CellGlyph>, 256>;

// A label drawn on the dots of a cairo A1 surface (a1_dots.h). Fills,
// inversions and the printer fonts' characters are set on the bits
// themselves; what else a label holds (slanted lines) cairo draws on the
// same bits.
class DotCanvas final : public Canvas {
 public:
  DotCanvas(cairo_surface_t* surface, cairo_t* cr, int dpi)
      : surface_(surface),
        cr_(cr),
        cairo_(cr, dpi, dpi, true),
        dots_(cairo_image_surface_get_data(surface)),
        stride_(cairo_image_surface_get_stride(surface)),
        width_(cairo_image_surface_get_width(surface)),
        height_(cairo_image_surface_get_height(surface)) {}

  int ResolutionX() const override { return cairo_.ResolutionX(); }
  int ResolutionY() const override { return cairo_.ResolutionY(); }
  void SetPen(int width, Colour colour, PenStyle style) override { cairo_.SetPen(width, colour, style); }
  void SetPenWidth(int width) override { cairo_.SetPenWidth(width); }
  void SetBrush(std::optional<Colour> fill) override { cairo_.SetBrush(fill); }
  void SetFont(const std::string& face, int points, bool bold, Colour colour) override {
    cairo_.SetFont(face, points, bold, colour);
  }
  void DrawText(int x, int y, const std::string& text, std::optional<int> clipRight,
                std::optional<Colour> background) override {
    ByCairo().DrawText(x, y, text, clipRight, background);
  }
  void DrawLine(int x1, int y1, int x2, int y2) override { ByCairo().DrawLine(x1, y1, x2, y2); }
  void DrawRectangle(int x1, int y1, int x2, int y2) override { ByCairo().DrawRectangle(x1, y1, x2, y2); }
  void FillPolygon(const std::vector<Point>& corners, Colour colour) override {
    ByCairo().FillPolygon(corners, colour);
  }
  void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) override;
  void InvertRectangle(int x1, int y1, int x2, int y2) override { Rectangle(x1, y1, x2, y2, Ink::Flip); }
  void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                    Colour colour) override;

  // Before the bits are read or written directly.
  void ByBits();
  void Clear();

 private:
  static constexpr int kMaxCachedCell = 160;
  static constexpr std::size_t kMaxCachedFonts = 64;

  CairoCanvas& ByCairo() {
    if (!cairoDrew_) cairo_surface_mark_dirty(surface_);
    cairoDrew_ = true;
    return cairo_;
  }
  void Rectangle(int x1, int y1, int x2, int y2, Ink ink);
  void Blit(const CellGlyph& g, int cellX, int cellY, Ink ink);
  CellFont& Font(int cellWidth, int cellHeight, int turns);
  std::unique_ptr<CellGlyph> MakeGlyph(unsigned char c, int cellWidth, int cellHeight, int turns);

  cairo_surface_t* surface_;
  cairo_t* cr_;
  CairoCanvas cairo_;
  unsigned char* dots_;
  int stride_, width_, height_;
  bool cairoDrew_ = false;
  std::unordered_map<std::uint64_t, std::unique_ptr<CellFont>> fonts_;
  std::uint64_t lastKey_ = 0;
  CellFont* lastFont_ = nullptr;
};

}  // namespace imptherm::posix
