#include "platform/posix/dot_canvas.h"

#include <algorithm>
#include <cstring>

namespace imptherm::posix {
namespace {

inline void Apply(unsigned char& byte, unsigned char mask, Ink ink) {
  if (ink == Ink::Set)
    byte |= mask;
  else if (ink == Ink::Clear)
    byte &= static_cast<unsigned char>(~mask);
  else
    byte ^= mask;
}

// Dark colours set dots, light ones clear them.
Ink InkOf(Colour c) { return c.r + c.g + c.b < 384 ? Ink::Set : Ink::Clear; }

}  // namespace

void DotCanvas::FillRectangle(int x1, int y1, int x2, int y2, Colour colour) {
  Rectangle(x1, y1, x2, y2, InkOf(colour));
}

void DotCanvas::DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                             Colour colour) {
  if (text.empty() || cellWidth <= 0 || cellHeight <= 0) return;
  // A large character is rare and costly to keep.
  if (cellWidth > kMaxCachedCell || cellHeight > kMaxCachedCell)
    return ByCairo().DrawCellText(x, y, text, cellWidth, cellHeight, quarterTurns, colour);
  ByBits();
  const Ink ink = InkOf(colour);
  const int turns = quarterTurns & 3;
  // The cells follow each other along the turned baseline.
  const int stepX = turns == 0 ? cellWidth : turns == 2 ? -cellWidth : 0;
  const int stepY = turns == 1 ? cellWidth : turns == 3 ? -cellWidth : 0;
  CellFont& font = Font(cellWidth, cellHeight, turns);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!font[c]) font[c] = MakeGlyph(c, cellWidth, cellHeight, turns);
    const CellGlyph& g = *font[c];
    const int n = static_cast<int>(i);
    Blit(g, x + n * stepX, y + n * stepY, ink);
  }
}

void DotCanvas::ByBits() {
  if (!cairoDrew_) return;
  cairo_.Flush();
  cairo_surface_flush(surface_);
  cairoDrew_ = false;
}

void DotCanvas::Clear() {
  ByBits();
  std::memset(dots_, 0, static_cast<std::size_t>(stride_) * height_);
}

void DotCanvas::Rectangle(int x1, int y1, int x2, int y2, Ink ink) {
  x1 = std::max(x1, 0), y1 = std::max(y1, 0), x2 = std::min(x2, width_), y2 = std::min(y2, height_);
  if (x2 <= x1 || y2 <= y1) return;
  ByBits();
  const int first = x1 >> 3, last = (x2 - 1) >> 3;
  const unsigned char head = DotMask(x1 & 7, first == last ? ((x2 - 1) & 7) + 1 : 8);
  const unsigned char tail = DotMask(0, ((x2 - 1) & 7) + 1);
  for (int y = y1; y < y2; ++y) {
    unsigned char* row = dots_ + static_cast<std::ptrdiff_t>(y) * stride_;
    Apply(row[first], head, ink);
    if (first == last) continue;
    for (int b = first + 1; b < last; ++b) Apply(row[b], 0xff, ink);
    Apply(row[last], tail, ink);
  }
}

// The glyph's bytes moved by a part of a byte land on two bytes each.
void DotCanvas::Blit(const CellGlyph& g, int cellX, int cellY, Ink ink) {
  const int x0 = cellX + g.left, shift = x0 & 7, byte0 = x0 >> 3, rowBytes = (width_ + 7) >> 3;
  const int y0 = cellY + g.top;
  if (!g.words.empty() && byte0 >= 0 && byte0 + 4 <= stride_ && y0 >= 0 && y0 + g.rows <= height_) {
    unsigned char* at = dots_ + static_cast<std::ptrdiff_t>(y0) * stride_ + byte0;
    for (int r = 0; r < g.rows; ++r, at += stride_) {
      std::uint32_t word;
      std::memcpy(&word, at, 4);
      const std::uint32_t glyph = g.words[r] << shift;
      word = ink == Ink::Set ? word | glyph : ink == Ink::Clear ? word & ~glyph : word ^ glyph;
      std::memcpy(at, &word, 4);
    }
    return;
  }
  for (int r = 0; r < g.rows; ++r) {
    const int y = cellY + g.top + r;
    if (y < 0 || y >= height_) continue;
    unsigned char* row = dots_ + static_cast<std::ptrdiff_t>(y) * stride_;
    const unsigned char* src = g.dots.data() + static_cast<std::size_t>(r) * g.bytes;
    for (int i = 0; i < g.bytes; ++i) {
      if (!src[i]) continue;
      const unsigned wide = kFirstDotLow ? unsigned{src[i]} << shift : (unsigned{src[i]} << 8) >> shift;
      const auto near = static_cast<unsigned char>(kFirstDotLow ? wide : wide >> 8);
      const auto far = static_cast<unsigned char>(kFirstDotLow ? wide >> 8 : wide);
      const int b = byte0 + i;
      if (b >= 0 && b < rowBytes) Apply(row[b], near, ink);
      if (b + 1 >= 0 && b + 1 < rowBytes) Apply(row[b + 1], far, ink);
    }
  }
}

// Drawn by cairo the way a whole text is, on a scratch picture around the
// cell's corner: the same dots wherever the cell lands, since a glyph
// falls on the device dot nearest its origin.
CellFont& DotCanvas::Font(int cellWidth, int cellHeight, int turns) {
  const std::uint64_t key = std::uint64_t(cellWidth) | std::uint64_t(cellHeight) << 16 | std::uint64_t(turns) << 32;
  if (key == lastKey_ && lastFont_) return *lastFont_;
  auto found = fonts_.find(key);
  if (found == fonts_.end()) {
    if (fonts_.size() >= kMaxCachedFonts) fonts_.clear();
    found = fonts_.emplace(key, std::make_unique<CellFont>()).first;
  }
  lastKey_ = key, lastFont_ = found->second.get();
  return *lastFont_;
}

std::unique_ptr<CellGlyph> DotCanvas::MakeGlyph(unsigned char c, int cellWidth, int cellHeight, int turns) {
  const int reach = 2 * std::max(cellWidth, cellHeight), side = 2 * reach;
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A1, side, side);
  cairo_t* cr = cairo_create(scratch);
  cairo_set_antialias(cr, cairo_get_antialias(cr_));
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_get_font_options(cr_, fo);
  cairo_set_font_options(cr, fo);
  cairo_font_options_destroy(fo);
  {
    CairoCanvas drawn(cr, ResolutionX(), ResolutionY(), true);
    drawn.DrawCellText(reach, reach, std::string(1, static_cast<char>(c)), cellWidth, cellHeight, turns, kBlack);
  }
  cairo_destroy(cr);
  cairo_surface_flush(scratch);
  const unsigned char* bits = cairo_image_surface_get_data(scratch);
  const int stride = cairo_image_surface_get_stride(scratch);
  auto dot = [&](int x, int y) { return (bits[y * stride + (x >> 3)] & DotMask(x & 7, (x & 7) + 1)) != 0; };
  int x1 = side, y1 = side, x2 = 0, y2 = 0;
  for (int y = 0; y < side && bits; ++y)
    for (int x = 0; x < side; ++x)
      if (dot(x, y)) x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x + 1), y2 = std::max(y2, y + 1);
  auto g = std::make_unique<CellGlyph>();
  if (x2 > x1) {
    g->left = x1 - reach, g->top = y1 - reach, g->bytes = (x2 - x1 + 7) / 8, g->rows = y2 - y1;
    g->dots.assign(static_cast<std::size_t>(g->bytes) * g->rows, 0);
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x)
        if (dot(x, y)) g->dots[(y - y1) * g->bytes + (x - x1) / 8] |= DotMask((x - x1) & 7, ((x - x1) & 7) + 1);
    if (kFirstDotLow && g->bytes <= 3)
      for (int r = 0; r < g->rows; ++r) {
        std::uint32_t word = 0;
        std::memcpy(&word, g->dots.data() + r * g->bytes, g->bytes);
        g->words.push_back(word);
      }
  }
  cairo_surface_destroy(scratch);
  return g;
}

}  // namespace imptherm::posix
