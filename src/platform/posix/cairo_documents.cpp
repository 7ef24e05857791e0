#include "platform/posix/cairo_documents.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/posix/cp1252.h"

namespace imptherm::posix {
namespace {

class CairoCanvas final : public Canvas {
 public:
  // alphaOnly: the surface keeps coverage only (a print head's dots): dark
  // colours set dots, light ones clear them.
  CairoCanvas(cairo_t* cr, int resX, int resY, bool alphaOnly = false)
      : cr_(cr), resX_(resX), resY_(resY), alphaOnly_(alphaOnly) {}

  int ResolutionX() const override { return resX_; }
  int ResolutionY() const override { return resY_; }
  void SetPen(int width, Colour colour, PenStyle style) override {
    penWidth_ = width;
    penColour_ = colour;
    penStyle_ = style;
  }
  void SetPenWidth(int width) override { penWidth_ = width; }
  void SetBrush(std::optional<Colour> fill) override { brush_ = fill; }
  void SetFont(const std::string& face, int points, bool bold, Colour colour) override {
    family_ = FontFamilyFor(face);
    points_ = points;
    bold_ = bold;
    fontColour_ = colour;
  }
  ~CairoCanvas() override {
    for (auto& [key, face] : faces_) cairo_font_face_destroy(face);
    if (monoFace_) cairo_font_face_destroy(monoFace_);
  }

  void DrawText(int x, int y, const std::string& text, std::optional<int> clipRight,
                std::optional<Colour> background) override {
    if (text.empty()) return;
    Flush();
    const std::string utf8 = Cp1252ToUtf8(text);
    const Font& font = CurrentFont();
    cairo_text_extents_t te{};
    if (clipRight || background) cairo_text_extents(cr_, utf8.c_str(), &te);
    // A clip costs the document a clipping path; a text that ends before
    // the edge needs none.
    const bool clipped = clipRight && x + std::max(te.x_advance, te.x_bearing + te.width) > *clipRight;
    if (clipped) {
      cairo_save(cr_);
      cairo_rectangle(cr_, x, y, std::max(0, *clipRight - x), font.cellHeight);
      cairo_clip(cr_);
    }
    if (background) {
      Use(*background);
      cairo_rectangle(cr_, x, y, te.x_advance, font.cellHeight);
      cairo_fill(cr_);
    }
    Use(fontColour_);
    cairo_move_to(cr_, x, y + font.ascent);
    cairo_show_text(cr_, utf8.c_str());
    if (clipped) cairo_restore(cr_);
  }

  void DrawLine(int x1, int y1, int x2, int y2) override {
    Flush();
    Stroke([&] {
      cairo_move_to(cr_, x1 + 0.5, y1 + 0.5);
      cairo_line_to(cr_, x2 + 0.5, y2 + 0.5);
    });
  }

  void DrawRectangle(int x1, int y1, int x2, int y2) override {
    if (brush_) FillRectangle(x1, y1, x2, y2, *brush_);
    Flush();
    Stroke([&] { cairo_rectangle(cr_, x1 + 0.5, y1 + 0.5, x2 - x1 - 1, y2 - y1 - 1); });
  }

  // Fills of one colour in a row (the bars of a barcode) become one path,
  // which keeps the PDF small and quick to write.
  void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) override {
    if (x2 <= x1 || y2 <= y1) return;
    if (!pending_.empty() && !(pendingColour_ == colour)) Flush();
    pendingColour_ = colour;
    pending_.push_back({x1, y1, x2, y2});
  }
  void InvertRectangle(int x1, int y1, int x2, int y2) override {
    if (x2 <= x1 || y2 <= y1) return;
    Flush();
    cairo_save(cr_);
    cairo_set_operator(cr_, alphaOnly_ ? CAIRO_OPERATOR_XOR : CAIRO_OPERATOR_DIFFERENCE);
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_rectangle(cr_, x1, y1, x2 - x1, y2 - y1);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }

  void FillPolygon(const std::vector<Point>& corners, Colour colour) override {
    if (corners.size() < 3) return;
    Flush();
    Use(colour);
    cairo_move_to(cr_, corners[0].x, corners[0].y);
    for (std::size_t i = 1; i < corners.size(); ++i) cairo_line_to(cr_, corners[i].x, corners[i].y);
    cairo_close_path(cr_);
    cairo_fill(cr_);
  }

  // Each glyph is placed on its own cell, so that the printer's fixed pitch
  // holds whatever the face's hinted advances are.
  void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                    Colour colour) override {
    if (text.empty() || cellWidth <= 0 || cellHeight <= 0) return;
    Flush();
    const Mono& mono = MonoFace();
    const std::string utf8 = Cp1252ToUtf8(text);
    cairo_save(cr_);
    cairo_translate(cr_, x, y);
    cairo_rotate(cr_, quarterTurns * std::numbers::pi / 2);
    cairo_matrix_t fm;
    cairo_matrix_init_scale(&fm, cellWidth / mono.advance, cellHeight / mono.height);
    cairo_set_font_matrix(cr_, &fm);
    cairo_scaled_font_t* font = cairo_get_scaled_font(cr_);
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs, &count,
                                         nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS) {
      const double baseline = mono.ascent * cellHeight / mono.height;
      for (int i = 0; i < count; ++i) {
        glyphs[i].x = static_cast<double>(i) * cellWidth;
        glyphs[i].y = baseline;
      }
      Use(colour);
      cairo_show_glyphs(cr_, glyphs, count);
      cairo_glyph_free(glyphs);
    }
    cairo_restore(cr_);
  }

  // Paints what is pending; before any other drawing and before the page ends.
  void Flush() {
    if (pending_.empty()) return;
    Use(pendingColour_);
    if (alphaOnly_ || !FillAsBars()) {
      for (const Box& b : pending_) cairo_rectangle(cr_, b.x1, b.y1, b.x2 - b.x1, b.y2 - b.y1);
      cairo_fill(cr_);
    }
    pending_.clear();
  }

 private:
  struct Box {
    int x1, y1, x2, y2;
  };
  // Many fills of one height side by side (a barcode's bars) go into the
  // document as one row of pixels stretched over that height: exact to the
  // device pixel, and a fraction of the size of one rectangle per bar.
  bool FillAsBars() {
    constexpr std::size_t kMinBars = 8;
    if (pending_.size() < kMinBars) return false;
    const int top = pending_[0].y1, bottom = pending_[0].y2;
    int left = pending_[0].x1, right = pending_[0].x2;
    for (const Box& b : pending_) {
      if (b.y1 != top || b.y2 != bottom) return false;
      left = std::min(left, b.x1);
      right = std::max(right, b.x2);
    }
    cairo_surface_t* row = cairo_image_surface_create(CAIRO_FORMAT_A8, right - left, 1);
    cairo_surface_flush(row);
    unsigned char* px = cairo_image_surface_get_data(row);
    if (cairo_surface_status(row) != CAIRO_STATUS_SUCCESS || !px) {  // wider than an image may be
      cairo_surface_destroy(row);
      return false;
    }
    for (const Box& b : pending_)
      for (int x = b.x1; x < b.x2; ++x) px[x - left] = 255;
    cairo_surface_mark_dirty(row);
    cairo_pattern_t* mask = cairo_pattern_create_for_surface(row);
    cairo_pattern_set_filter(mask, CAIRO_FILTER_NEAREST);
    cairo_save(cr_);
    cairo_translate(cr_, left, top);
    cairo_scale(cr_, 1, bottom - top);
    cairo_mask(cr_, mask);
    cairo_restore(cr_);
    cairo_pattern_destroy(mask);
    cairo_surface_destroy(row);
    return true;
  }

  struct Font {
    double ascent, cellHeight;
  };
  // The monospaced face at size 1: its advance and its height, which a
  // cell's size divides.
  struct Mono {
    double advance = 0.6, ascent = 0.8, height = 1.1;
  };
  const Mono& MonoFace() {
    if (!monoFace_) {
      monoFace_ = cairo_toy_font_face_create("Liberation Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
      cairo_save(cr_);
      cairo_set_font_face(cr_, monoFace_);
      cairo_set_font_size(cr_, 1000);
      cairo_font_extents_t fe;
      cairo_font_extents(cr_, &fe);
      cairo_text_extents_t te;
      cairo_text_extents(cr_, "M", &te);
      cairo_restore(cr_);
      if (te.x_advance > 0 && fe.ascent + fe.descent > 0)
        mono_ = {te.x_advance / 1000, fe.ascent / 1000, (fe.ascent + fe.descent) / 1000};
    }
    cairo_set_font_face(cr_, monoFace_);
    return mono_;
  }
  // Selects the current font on the context. Faces and their metrics are
  // kept: a sheet print run draws the same few fonts thousands of times.
  const Font& CurrentFont() {
    const std::string key = family_ + (bold_ ? "/b" : "/r");
    auto face = faces_.find(key);
    if (face == faces_.end()) {
      cairo_font_face_t* f = cairo_toy_font_face_create(family_.c_str(), CAIRO_FONT_SLANT_NORMAL,
                                                        bold_ ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
      face = faces_.emplace(key, f).first;
    }
    cairo_set_font_face(cr_, face->second);
    cairo_set_font_size(cr_, points_ * resY_ / 72.0);
    auto metrics = metrics_.find(key + std::to_string(points_));
    if (metrics == metrics_.end()) {
      cairo_font_extents_t fe;
      cairo_font_extents(cr_, &fe);
      metrics = metrics_.emplace(key + std::to_string(points_), Font{fe.ascent, fe.ascent + fe.descent}).first;
    }
    return metrics->second;
  }
  // Coverage is set by painting over it and cleared by painting it out: both
  // bounded by what is drawn, which keeps pixman on its quick paths.
  void Use(Colour c) {
    if (!alphaOnly_) return cairo_set_source_rgb(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    cairo_set_operator(cr_, c.r + c.g + c.b < 384 ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_DEST_OUT);
    cairo_set_source_rgba(cr_, 0, 0, 0, 1);
  }
  template <typename Path>
  void Stroke(Path path) {
    cairo_save(cr_);
    Use(penColour_);
    cairo_set_line_width(cr_, std::max(1, penWidth_));
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
    if (penStyle_ == PenStyle::Dotted) {
      const double dash[] = {2.0, 2.0};
      cairo_set_dash(cr_, dash, 2, 0);
    }
    path();
    cairo_stroke(cr_);
    cairo_restore(cr_);
  }

  cairo_t* cr_;
  int resX_, resY_;
  bool alphaOnly_;
  int penWidth_ = 1;
  Colour penColour_ = kBlack;
  PenStyle penStyle_ = PenStyle::Solid;
  std::optional<Colour> brush_ = kWhite;
  std::vector<Box> pending_;
  Colour pendingColour_;
  std::map<std::string, cairo_font_face_t*> faces_;
  std::map<std::string, Font> metrics_;
  cairo_font_face_t* monoFace_ = nullptr;
  Mono mono_;
  std::string family_ = FontFamilyFor("MS Sans Serif");
  int points_ = 10;
  bool bold_ = false;
  Colour fontColour_ = kBlack;
};

// A PDF file being drawn: its surface, its drawing context and, once the
// owner makes it, the canvas over them. `what` names the file in errors.
class PdfFile {
 public:
  PdfFile(const std::string& path, double widthPoints, double heightPoints, const std::string& what)
      : what_(what + " " + path) {
    surface = cairo_pdf_surface_create(path.c_str(), widthPoints, heightPoints);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      const std::string why = cairo_status_to_string(cairo_surface_status(surface));
      cairo_surface_destroy(surface);
      throw PlatformError("cannot write " + what_ + ": " + why);
    }
    cr = cairo_create(surface);
  }
  ~PdfFile() { Finish(); }
  PdfFile(const PdfFile&) = delete;
  PdfFile& operator=(const PdfFile&) = delete;

  // Writes the rest of the file out; once only.
  cairo_status_t Finish() {
    if (!surface) return CAIRO_STATUS_SUCCESS;
    if (canvas) canvas->Flush();
    canvas.reset();
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    surface = nullptr;
    return status;
  }
  void FinishOrRaise() {
    if (const cairo_status_t status = Finish(); status != CAIRO_STATUS_SUCCESS)
      throw PlatformError("cannot write " + what_ + ": " + cairo_status_to_string(status));
  }

  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  std::unique_ptr<CairoCanvas> canvas;

 private:
  std::string what_;
};

class CairoDocument final : public DrawnDocument {
 public:
  // printer empty: the PDF stays at `path`; otherwise it is a temporary file
  // that goes to the printer when the document ends.
  CairoDocument(std::string path, std::string printer, std::string title, int resX, int resY)
      : path_(std::move(path)),
        printer_(std::move(printer)),
        title_(std::move(title)),
        pdf_(path_, kPageWidthPoints, kPageHeightPoints, "the sheet document") {
    cairo_pdf_surface_set_metadata(pdf_.surface, CAIRO_PDF_METADATA_TITLE, Cp1252ToUtf8(title_).c_str());
    // Device pixels at the printer's resolution from the printable area on.
    cairo_translate(pdf_.cr, kPrintableOffsetInches * 72, kPrintableOffsetInches * 72);
    cairo_scale(pdf_.cr, 72.0 / resX, 72.0 / resY);
    pdf_.canvas = std::make_unique<CairoCanvas>(pdf_.cr, resX, resY);
  }
  // A document dropped before End is cancelled: no sheet of it is printed,
  // and no PDF of a run cut short is left behind.
  ~CairoDocument() override {
    pdf_.Finish();
    if (!printer_.empty() || !ended_) ::unlink(path_.c_str());
  }

  Canvas& page() override { return *pdf_.canvas; }
  void NewPage() override {
    pdf_.canvas->Flush();
    cairo_show_page(pdf_.cr);
  }

  void End() override {
    pdf_.FinishOrRaise();
    ended_ = true;
    if (printer_.empty()) return;
    if (cupsPrintFile2(CUPS_HTTP_DEFAULT, printer_.c_str(), path_.c_str(), title_.c_str(), 0, nullptr) == 0)
      throw PlatformError("the printer " + printer_ + " refused the sheets: " + cupsLastErrorString());
  }

 private:
  std::string path_, printer_, title_;
  PdfFile pdf_;
  bool ended_ = false;
};

// A label's page: white, the label's size, device pixels at its dots.
void StartLabelPage(cairo_t* cr, int widthDots, int heightDots, double scale) {
  cairo_identity_matrix(cr);
  cairo_scale(cr, scale, scale);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 0, 0, widthDots, heightDots);
  cairo_fill(cr);
}

class LabelPdf final : public LabelPictures {
 public:
  explicit LabelPdf(const std::string& path) : pdf_(path, 288, 432, "the preview") {}

  Canvas& StartLabel(int widthDots, int heightDots, int dotsPerInch) override {
    if (pages_++ > 0) cairo_show_page(pdf_.cr);
    const double scale = 72.0 / dotsPerInch;
    cairo_pdf_surface_set_size(pdf_.surface, widthDots * scale, heightDots * scale);
    StartLabelPage(pdf_.cr, widthDots, heightDots, scale);
    if (!pdf_.canvas || pdf_.canvas->ResolutionX() != dotsPerInch)
      pdf_.canvas = std::make_unique<CairoCanvas>(pdf_.cr, dotsPerInch, dotsPerInch);
    return *pdf_.canvas;
  }
  void EndLabel(int copies) override {
    CairoCanvas& canvas = *pdf_.canvas;
    if (copies > 1) {
      const int cell = canvas.ResolutionX() / 10;
      canvas.DrawCellText(cell / 2, cell / 2, std::to_string(copies) + " copies", cell * 3 / 5, cell, 0, kBlue);
    }
    canvas.Flush();
  }
  void Finish() override { pdf_.FinishOrRaise(); }

 private:
  PdfFile pdf_;
  int pages_ = 0;
};

// A label's dots as a print head's image buffer: a cairo A1 surface, one bit
// a dot. Fills, inversions and the printer fonts' characters are set on the
// bits themselves; what else a label holds (slanted lines) cairo draws on
// the same bits. A1 packs dots in 32-bit words in the machine's order: on a
// little-endian machine the first dot of each byte is its lowest bit.
constexpr bool kFirstDotLow = std::endian::native == std::endian::little;

// The dots first to end - 1 (0 <= first < end <= 8) of one byte.
constexpr unsigned char DotMask(int first, int end) {
  const unsigned run = 0xffu >> (8 - (end - first));
  return static_cast<unsigned char>(kFirstDotLow ? run << first : run << (8 - end));
}

enum class Ink { Set, Clear, Flip };

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
  void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) override {
    Rectangle(x1, y1, x2, y2, InkOf(colour));
  }
  void InvertRectangle(int x1, int y1, int x2, int y2) override { Rectangle(x1, y1, x2, y2, Ink::Flip); }

  void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                    Colour colour) override {
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

  // Before the bits are read or written directly.
  void ByBits() {
    if (!cairoDrew_) return;
    cairo_.Flush();
    cairo_surface_flush(surface_);
    cairoDrew_ = false;
  }
  void Clear() {
    ByBits();
    std::memset(dots_, 0, static_cast<std::size_t>(stride_) * height_);
  }

 private:
  static constexpr int kMaxCachedCell = 160;
  static constexpr std::size_t kMaxCachedFonts = 64;

  CairoCanvas& ByCairo() {
    if (!cairoDrew_) cairo_surface_mark_dirty(surface_);
    cairoDrew_ = true;
    return cairo_;
  }

  void Rectangle(int x1, int y1, int x2, int y2, Ink ink) {
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
  void Blit(const CellGlyph& g, int cellX, int cellY, Ink ink) {
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
  CellFont& Font(int cellWidth, int cellHeight, int turns) {
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
  std::unique_ptr<CellGlyph> MakeGlyph(unsigned char c, int cellWidth, int cellHeight, int turns) {
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

constexpr unsigned ReverseBits(unsigned code, int length) {
  unsigned r = 0;
  for (int i = 0; i < length; ++i) r |= ((code >> i) & 1u) << (length - 1 - i);
  return r;
}

// The fixed Huffman codes of deflate, ready to go out lowest bit first.
struct HuffmanCode {
  std::uint16_t bits = 0;
  std::uint8_t length = 0;
};
constexpr std::array<HuffmanCode, 288> FixedCodes() {
  std::array<HuffmanCode, 288> c{};
  for (int v = 0; v < 288; ++v) {
    const auto [first, length, base] = v < 144   ? std::array{0x30, 8, 0}
                                       : v < 256 ? std::array{0x190, 9, 144}
                                       : v < 280 ? std::array{0, 7, 256}
                                                 : std::array{0xC0, 8, 280};
    c[v] = {static_cast<std::uint16_t>(ReverseBits(static_cast<unsigned>(first + v - base), length)),
            static_cast<std::uint8_t>(length)};
  }
  return c;
}
constexpr std::array<HuffmanCode, 288> kFixedCodes = FixedCodes();

// A match's length as a symbol and its extra bits.
struct LengthCode {
  int symbol = 0, extra = 0, extraBits = 0;
};
constexpr std::array<LengthCode, 259> LengthCodes() {
  constexpr int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr int extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  std::array<LengthCode, 259> t{};
  for (int code = 0; code < 28; ++code)
    for (int length = base[code]; length < base[code] + (1 << extra[code]) && length < 258; ++length)
      t[length] = {257 + code, length - base[code], extra[code]};
  t[258] = {285, 0, 0};
  return t;
}
constexpr std::array<LengthCode, 259> kLengthCodes = LengthCodes();
constexpr int kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The deflate code of one row: symbols with the fixed codes of the format,
// which is all a label needs (its rows, filtered against the row above,
// are mostly zero bytes; a run of one byte or a row equal to the one before
// is one back-reference). Kept as bits, lowest first, in 32-bit words.
class RowCode {
 public:
  void Clear() {
    words_.clear();
    tail_ = 0, count_ = 0;
  }
  void Literal(unsigned char byte) { Symbol(byte); }
  // length bytes again from distance bytes back; any length from 3.
  void Match(int length, int distance) {
    int code = 0;
    while (code < 29 && kDistanceBase[code + 1] <= distance) ++code;
    while (length > 0) {
      int take = std::min(length, 258);
      if (length - take > 0 && length - take < 3) take = length - 3;
      length -= take;
      const LengthCode& l = kLengthCodes[take];
      Symbol(l.symbol);
      Bits(static_cast<unsigned>(l.extra), l.extraBits);
      Bits(ReverseBits(static_cast<unsigned>(code), 5), 5);
      Bits(static_cast<unsigned>(distance - kDistanceBase[code]), kDistanceExtra[code]);
    }
  }
  const std::vector<std::uint32_t>& words() const { return words_; }
  unsigned tail() const { return static_cast<unsigned>(tail_); }
  int tailBits() const { return count_; }
  uLong adler = 1;  // Adler-32 of the row's filtered bytes alone

 private:
  void Symbol(int symbol) { Bits(kFixedCodes[symbol].bits, kFixedCodes[symbol].length); }
  void Bits(unsigned value, int count) {
    tail_ |= std::uint64_t{value} << count_;
    count_ += count;
    if (count_ >= 32) {
      words_.push_back(static_cast<std::uint32_t>(tail_));
      tail_ >>= 32, count_ -= 32;
    }
  }
  std::vector<std::uint32_t> words_;
  std::uint64_t tail_ = 0;
  int count_ = 0;
};

// The deflate stream: one block with the fixed codes, the rows' codes one
// after the other. out: room for what the data can take, at most ten bits
// a byte (a literal is nine; a back-reference of 31 bits stands for three
// bytes or more, after a literal of its run) and a few bytes more.
class DeflateStream {
 public:
  explicit DeflateStream(unsigned char* out) : out_(out) {
    Bits(1, 1);  // the last block
    Bits(1, 2);  // fixed codes
  }
  void Append(const RowCode& row) {
    for (std::uint32_t word : row.words()) Bits(word, 32);
    Bits(row.tail(), row.tailBits());
  }
  // Where the data ends.
  unsigned char* End() {
    Bits(kFixedCodes[256].bits, kFixedCodes[256].length);  // end of block
    Bits(0, 7);                                            // the last bits out to a whole byte
    while (count_ >= 8) {
      *out_++ = static_cast<unsigned char>(bits_);
      bits_ >>= 8, count_ -= 8;
    }
    return out_;
  }

 private:
  void Bits(std::uint32_t value, int count) {
    bits_ |= std::uint64_t{value} << count_;
    count_ += count;
    if (count_ >= 32) {
      for (int i = 0; i < 4; ++i) *out_++ = static_cast<unsigned char>(bits_ >> (8 * i));
      bits_ >>= 32, count_ -= 32;
    }
  }
  unsigned char* out_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

// One-bit grey PNG files, written whole from a label's dots (PNG: the first
// dot of eight in the highest bit, 0 for black). The labels of a print run
// are much alike: a row whose dots and the two rows above are those of the
// label before has the code it had then.
class OneBitPng {
 public:
  bool Write(const std::string& path, const unsigned char* dots, int stride, int width, int height, int dpi) {
    file_.clear();
    file_.insert(file_.end(), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'});
    unsigned char header[13] = {};
    Put32(header, static_cast<std::uint32_t>(width));
    Put32(header + 4, static_cast<std::uint32_t>(height));
    header[8] = 1;  // one bit, grey; deflate, filtered by rows, not interlaced
    Chunk("IHDR", header, sizeof header);
    unsigned char physical[9] = {};
    const auto perMetre = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
    Put32(physical, perMetre);
    Put32(physical + 4, perMetre);
    physical[8] = 1;  // per metre
    Chunk("pHYs", physical, sizeof physical);
    const std::size_t start = file_.size();
    file_.resize(start + 8);
    std::memcpy(file_.data() + start + 4, "IDAT", 4);
    Compress(dots, stride, width, height);
    Put32(file_.data() + start, static_cast<std::uint32_t>(file_.size() - start - 8));
    EndChunk(start);
    Chunk("IEND", nullptr, 0);
    return WriteFile(path);
  }

 private:
  // Every row filtered "up" (minus the row above): a row like the one
  // above is all zero, and rows of a bar or a blank stretch repeat.
  void Compress(const unsigned char* dots, int stride, int width, int height) {
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8, filtered = bytes + 1;
    const std::size_t size = static_cast<std::size_t>(stride) * height;
    const bool alike = last_.size() == size && lastWidth_ == width && codes_.size() == static_cast<std::size_t>(height);
    if (!alike) {
      codes_.assign(height, RowCode());
      last_.assign(size, 0);
      lastWidth_ = width;
    }
    now_.assign(filtered, 0);
    before_.assign(filtered, 0);
    file_.insert(file_.end(), {0x78, 0x01});  // deflate, 32 KiB window
    const std::size_t start = file_.size();
    file_.resize(start + (filtered * 10 / 8 + 8) * height + 16);
    DeflateStream deflate(file_.data() + start);
    uLong sum = adler32(0, nullptr, 0);
    int sameRows = 0;  // rows up to this one as on the label before
    int beforeRow = -1;
    for (int y = 0; y < height; ++y) {
      const std::size_t at = static_cast<std::size_t>(y) * stride;
      sameRows = alike && std::memcmp(dots + at, last_.data() + at, bytes) == 0 ? sameRows + 1 : 0;
      RowCode& code = codes_[y];
      if (sameRows < 3 && sameRows <= y) {
        if (y > 0 && beforeRow != y - 1) Filter(dots, stride, width, y - 1, before_);
        Filter(dots, stride, width, y, now_);
        Encode(code, y > 0);
        std::swap(now_, before_);
        beforeRow = y;
      }
      deflate.Append(code);
      sum = adler32_combine(sum, code.adler, static_cast<z_off_t>(filtered));
    }
    std::memcpy(last_.data(), dots, size);
    file_.resize(static_cast<std::size_t>(deflate.End() - file_.data()));
    unsigned char check[4];
    Put32(check, static_cast<std::uint32_t>(sum));
    file_.insert(file_.end(), check, check + 4);
  }

  // The filtered row: its filter byte, then its bytes minus those above.
  static void Filter(const unsigned char* dots, int stride, int width, int y, std::vector<unsigned char>& out) {
    const std::size_t bytes = out.size() - 1;
    const unsigned char* row = dots + static_cast<std::ptrdiff_t>(y) * stride;
    out[0] = 2;  // filter: up
    if (y > 0 && std::memcmp(row, row - stride, bytes) == 0) {
      std::memset(out.data() + 1, 0, bytes);
      return;
    }
    for (std::size_t i = 0; i < bytes; i += 8) {
      const std::size_t n = std::min<std::size_t>(8, bytes - i);
      std::uint64_t word = 0, above = 0;
      std::memcpy(&word, row + i, n);
      if (y > 0) std::memcpy(&above, row - stride + i, n);
      if (i + n == bytes && width % 8) {
        // The dots past the width are white, whatever a character cut by
        // the edge left there.
        unsigned char last[2] = {row[bytes - 1], static_cast<unsigned char>(y > 0 ? row[bytes - 1 - stride] : 0)};
        for (unsigned char& b : last) b &= DotMask(0, width % 8);
        std::memcpy(reinterpret_cast<unsigned char*>(&word) + n - 1, &last[0], 1);
        std::memcpy(reinterpret_cast<unsigned char*>(&above) + n - 1, &last[1], 1);
      }
      const std::uint64_t d = y > 0 ? (word == above ? 0 : ByteDifference(ToPng(word), ToPng(above))) : ToPng(word);
      std::memcpy(out.data() + 1 + i, &d, n);
    }
  }
  void Encode(RowCode& code, bool hasAbove) {
    code.Clear();
    code.adler = adler32(adler32(0, nullptr, 0), now_.data(), static_cast<uInt>(now_.size()));
    if (hasAbove && now_ == before_) return code.Match(static_cast<int>(now_.size()), static_cast<int>(now_.size()));
    for (std::size_t i = 0; i < now_.size();) {
      const std::size_t end = RunEnd(i, now_.size());
      if (end - i >= 4) {
        code.Literal(now_[i]);
        code.Match(static_cast<int>(end - i - 1), 1);
      } else {
        for (std::size_t k = i; k < end; ++k) code.Literal(now_[k]);
      }
      i = end;
    }
  }

  // Eight bytes of dots as PNG has them: bits turned round where the first
  // dot is the lowest, and 1 for white.
  static std::uint64_t ToPng(std::uint64_t dots) {
    if constexpr (kFirstDotLow) {
      dots = ((dots >> 1) & 0x5555555555555555ull) | ((dots & 0x5555555555555555ull) << 1);
      dots = ((dots >> 2) & 0x3333333333333333ull) | ((dots & 0x3333333333333333ull) << 2);
      dots = ((dots >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((dots & 0x0F0F0F0F0F0F0F0Full) << 4);
    }
    return ~dots;
  }
  // a - b in each byte on its own.
  static std::uint64_t ByteDifference(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t high = 0x8080808080808080ull;
    return ((a | high) - (b & ~high)) ^ ((a ^ ~b) & high);
  }
  // Where the run of now_[at]'s byte ends, eight bytes a step.
  std::size_t RunEnd(std::size_t at, std::size_t size) const {
    const unsigned char* p = now_.data();
    const std::uint64_t same = p[at] * 0x0101010101010101ull;
    std::size_t end = at + 1;
    for (; end + 8 <= size; end += 8) {
      std::uint64_t word;
      std::memcpy(&word, p + end, 8);
      if (const std::uint64_t other = word ^ same)
        return end +
               (std::endian::native == std::endian::little ? std::countr_zero(other) : std::countl_zero(other)) / 8;
    }
    while (end < size && p[end] == p[at]) ++end;
    return end;
  }

  static void Put32(unsigned char* at, std::uint32_t v) {
    at[0] = static_cast<unsigned char>(v >> 24), at[1] = static_cast<unsigned char>(v >> 16);
    at[2] = static_cast<unsigned char>(v >> 8), at[3] = static_cast<unsigned char>(v);
  }
  void Chunk(const char* type, const unsigned char* data, std::size_t size) {
    const std::size_t start = file_.size();
    file_.resize(start + 8);
    Put32(file_.data() + start, static_cast<std::uint32_t>(size));
    std::memcpy(file_.data() + start + 4, type, 4);
    if (size) file_.insert(file_.end(), data, data + size);
    EndChunk(start);
  }
  // The check sum of a chunk's type and data.
  void EndChunk(std::size_t start) {
    const uLong crc = crc32(0, file_.data() + start + 4, static_cast<uInt>(file_.size() - start - 4));
    file_.resize(file_.size() + 4);
    Put32(file_.data() + file_.size() - 4, static_cast<std::uint32_t>(crc));
  }
  // A picture drawn again over an older one (the same job previewed
  // again) is written over it and cut to its length: its blocks are
  // reused, where emptying the file first would free them and take new ones.
  bool WriteFile(const std::string& path) const {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < file_.size()) {
      const ssize_t n = ::write(fd, file_.data() + done, file_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    const bool cut = done == file_.size() && ::ftruncate(fd, static_cast<off_t>(done)) == 0;
    return ::close(fd) == 0 && cut;
  }

  std::vector<unsigned char> file_, now_, before_, last_;
  std::vector<RowCode> codes_;
  int lastWidth_ = 0;
};

// One image surface, kept while labels keep their size: a print run's labels
// are all alike.
class LabelPngs final : public LabelPictures {
 public:
  explicit LabelPngs(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  }
  ~LabelPngs() override { Release(); }

  Canvas& StartLabel(int widthDots, int heightDots, int dotsPerInch) override {
    if (!surface_ || width_ != widthDots || height_ != heightDots || dpi_ != dotsPerInch) {
      Release();
      surface_ = cairo_image_surface_create(CAIRO_FORMAT_A1, widthDots, heightDots);
      if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        Release();
        throw PlatformError("cannot make a picture of " + std::to_string(widthDots) + " x " +
                            std::to_string(heightDots) + " dots");
      }
      cr_ = cairo_create(surface_);
      // A print head's dot is on or off.
      cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
      cairo_font_options_t* fo = cairo_font_options_create();
      cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_NONE);
      cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
      cairo_set_font_options(cr_, fo);
      cairo_font_options_destroy(fo);
      canvas_ = std::make_unique<DotCanvas>(surface_, cr_, dotsPerInch);
      width_ = widthDots, height_ = heightDots, dpi_ = dotsPerInch;
    }
    canvas_->Clear();
    return *canvas_;
  }
  void EndLabel(int copies) override {
    canvas_->ByBits();
    char name[48];
    if (copies > 1)
      std::snprintf(name, sizeof name, "label-%04d-x%d.png", ++count_, copies);
    else
      std::snprintf(name, sizeof name, "label-%04d.png", ++count_);
    const std::string path = folder_ + name;
    if (!png_.Write(path, cairo_image_surface_get_data(surface_), cairo_image_surface_get_stride(surface_), width_,
                    height_, dpi_))
      throw PlatformError("cannot write the preview " + path);
  }
  void Finish() override { Release(); }

 private:
  void Release() {
    canvas_.reset();
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
    cr_ = nullptr;
    surface_ = nullptr;
  }
  std::string folder_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::unique_ptr<DotCanvas> canvas_;
  OneBitPng png_;
  int width_ = 0, height_ = 0, dpi_ = 0, count_ = 0;
};

std::string TemporaryPdf() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/impthermorvane-XXXXXX.pdf";
  const int fd = ::mkstemps(path.data(), 4);
  if (fd < 0) throw PlatformError("cannot create a temporary file for the sheets in " + path);
  ::close(fd);
  return path;
}

}  // namespace

std::unique_ptr<LabelPictures> OpenLabelPdf(const std::string& path) { return std::make_unique<LabelPdf>(path); }
std::unique_ptr<LabelPictures> OpenLabelPngFolder(const std::string& folder) {
  return std::make_unique<LabelPngs>(folder);
}

std::string FontFamilyFor(const std::string& face) {
  if (face == "MS Sans Serif") return "Liberation Sans";
  if (face == "MS Serif") return "Liberation Serif";
  return face;
}

DrawnDocuments::Resolution CairoDocuments::PrinterResolution(const std::string& printer) {
  Resolution r{kDefaultPrinterResolution, kDefaultPrinterResolution};
  if (!pdfPath_.empty() || printer.empty()) return r;
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  if (cups_dest_t* dest = cupsGetDest(printer.c_str(), nullptr, n, dests)) {
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
      if (ipp_attribute_t* a = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution")) {
        ipp_res_t units = IPP_RES_PER_INCH;
        int y = 0;
        const int x = ippGetResolution(a, 0, &y, &units);
        const double perInch = units == IPP_RES_PER_CM ? 2.54 : 1.0;
        if (x > 0 && y > 0)
          r = {static_cast<int>(std::lround(x * perInch)), static_cast<int>(std::lround(y * perInch))};
      }
      cupsFreeDestInfo(info);
    }
  }
  cupsFreeDests(n, dests);
  return r;
}

std::unique_ptr<DrawnDocument> CairoDocuments::StartDocument(const std::string& printer, const std::string& title) {
  const Resolution r = PrinterResolution(printer);
  if (!pdfPath_.empty()) return std::make_unique<CairoDocument>(pdfPath_, "", title, r.x, r.y);
  if (printer.empty())
    throw PlatformError("no printer to print the sheets on (--sheet-pdf FILE writes them to a file)");
  return std::make_unique<CairoDocument>(TemporaryPdf(), printer, title, r.x, r.y);
}

}  // namespace imptherm::posix
