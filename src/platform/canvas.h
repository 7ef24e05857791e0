#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace imptherm {

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};
inline constexpr Colour kBlack{0, 0, 0};
inline constexpr Colour kWhite{255, 255, 255};
inline constexpr Colour kBlue{0, 0, 255};

enum class PenStyle { Solid, Dotted };

struct Point {
  int x = 0, y = 0;
};

// A printer page in device pixels: x to the right, y down, (0, 0) at the top
// left of the printable area. It keeps a pen, a brush and a font the way a
// printer device context does, so callers set only what they change.
class Canvas {
 public:
  virtual ~Canvas() = default;
  // Device pixels per inch, horizontally and vertically.
  virtual int ResolutionX() const = 0;
  virtual int ResolutionY() const = 0;

  virtual void SetPen(int width, Colour colour, PenStyle style) = 0;
  virtual void SetPenWidth(int width) = 0;
  // Nothing: a clear brush (rectangles are outlines only).
  virtual void SetBrush(std::optional<Colour> fill) = 0;
  // face: the Windows face name the layout asks for ("MS Sans Serif",
  // "MS Serif"); the backend maps it to a font it has. Sizes are points.
  virtual void SetFont(const std::string& face, int points, bool bold, Colour colour) = 0;

  // Windows-1252 text with its top left corner at (x, y). With clipRight
  // nothing is drawn right of that edge. With background the text's cell is
  // first filled with it (opaque text); otherwise only the glyphs are drawn.
  virtual void DrawText(int x, int y, const std::string& text, std::optional<int> clipRight,
                        std::optional<Colour> background) = 0;
  // A line with the current pen from (x1, y1) towards (x2, y2).
  virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
  // Inside filled with the brush (unless clear), outlined with the pen;
  // right and bottom edges excluded, as printers do.
  virtual void DrawRectangle(int x1, int y1, int x2, int y2) = 0;
  // The area filled with one colour, no outline (barcode bars).
  virtual void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) = 0;

  // What a thermal printer's image buffer needs besides. Every pixel of the
  // area turned over, black to white and white to black (exclusive or).
  virtual void InvertRectangle(int x1, int y1, int x2, int y2) = 0;
  // The polygon filled with one colour, no outline (a thick slanted line).
  virtual void FillPolygon(const std::vector<Point>& corners, Colour colour) = 0;
  // Windows-1252 text in a monospaced face stretched so that every character
  // fills a cell of cellWidth x cellHeight pixels (a printer's bitmap font),
  // turned clockwise by quarterTurns about (x, y), the first cell's top left
  // corner before turning.
  virtual void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                            Colour colour) = 0;
};

// One printer document: pages drawn one after the other, delivered when it
// ends. A document destroyed before End is cancelled.
class DrawnDocument {
 public:
  virtual ~DrawnDocument() = default;
  // The page being drawn; the first page is open from the start.
  virtual Canvas& page() = 0;
  virtual void NewPage() = 0;
  // Closes the document and hands it to the printer. Raises PlatformError
  // when the printer refuses it.
  virtual void End() = 0;
};

}  // namespace imptherm
