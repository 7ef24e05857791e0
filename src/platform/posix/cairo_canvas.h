#pragma once
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "platform/canvas.h"
#include "platform/posix/cairo_documents.h"

namespace imptherm::posix {

// A canvas drawn by cairo: sheets and label pages of the PDF documents, and
// what the dot canvas leaves to cairo.
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

  // Fills of one colour in a row become one path, which keeps the PDF small
  // and quick to write; bars side by side (a barcode's, turned or not) become
  // one picture of them (see BarRun).
  void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) override {
    if (x2 <= x1 || y2 <= y1) return;
    if ((!pending_.empty() || run_.count > 0) && !(pendingColour_ == colour)) Flush();
    pendingColour_ = colour;
    const Box b{x1, y1, x2, y2};
    if (alphaOnly_) return pending_.push_back(b);
    if (run_.count > 0 && Continues(b)) return AddToRun(b);
    EndRun();
    run_.first = b;
    run_.along = BarRun::Undecided;
    run_.lo = run_.hi = 0;
    run_.boxes.assign(1, b);
    run_.count = 1;
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
    EndRun();
    if (pending_.empty()) return;
    Use(pendingColour_);
    for (const Box& b : pending_) cairo_rectangle(cr_, b.x1, b.y1, b.x2 - b.x1, b.y2 - b.y1);
    cairo_fill(cr_);
    pending_.clear();
  }

 private:
  struct Box {
    int x1, y1, x2, y2;
  };
  // Fills that share their top and bottom (a barcode's bars) or their left
  // and right (the bars of a turned barcode) go into the document as one row
  // (or column) of pixels stretched over that height (or width): exact to
  // the device pixel, a fraction of the size of one rectangle per bar, and
  // the same work whichever way the bars are turned. Coverage is kept per
  // pixel along the run, not per bar, so a run costs the same memory however
  // many bars it has; a run is at most kMaxRun pixels long (what a picture
  // may be), and a run of fewer than kMinBars fills stays rectangles.
  static constexpr int kMaxRun = 32767;
  static constexpr int kMinBars = 8;
  struct BarRun {
    enum Along { Undecided, Row, Column } along = Undecided;
    Box first{};
    int count = 0;
    int lo = 0, hi = 0;                // the run's extent along it, once decided
    std::vector<Box> boxes;            // the first fills, until kMinBars
    std::vector<unsigned char> cover;  // 2 * kMaxRun + 1 pixels, first.x1 or .y1 at kMaxRun
  };
  static int From(const Box& b, BarRun::Along along) { return along == BarRun::Row ? b.x1 : b.y1; }
  static int To(const Box& b, BarRun::Along along) { return along == BarRun::Row ? b.x2 : b.y2; }
  bool Continues(const Box& b) const {
    const Box& f = run_.first;
    const bool row = b.y1 == f.y1 && b.y2 == f.y2, column = b.x1 == f.x1 && b.x2 == f.x2;
    BarRun::Along along = run_.along;
    if (along == BarRun::Undecided) along = row ? BarRun::Row : column ? BarRun::Column : BarRun::Undecided;
    if (along == BarRun::Undecided || (along == BarRun::Row ? !row : !column)) return false;
    // Undecided, the run is its first fill.
    const int lo = run_.along == along ? run_.lo : From(f, along), hi = run_.along == along ? run_.hi : To(f, along);
    return std::max(hi, To(b, along)) - std::min(lo, From(b, along)) <= kMaxRun;
  }
  void Mark(const Box& b) {
    const int origin = From(run_.first, run_.along) - kMaxRun;
    std::fill(run_.cover.begin() + (From(b, run_.along) - origin), run_.cover.begin() + (To(b, run_.along) - origin),
              255);
  }
  void AddToRun(const Box& b) {
    if (run_.along == BarRun::Undecided) {
      run_.along = b.y1 == run_.first.y1 && b.y2 == run_.first.y2 ? BarRun::Row : BarRun::Column;
      run_.lo = From(run_.first, run_.along), run_.hi = To(run_.first, run_.along);
    }
    run_.lo = std::min(run_.lo, From(b, run_.along)), run_.hi = std::max(run_.hi, To(b, run_.along));
    if (++run_.count < kMinBars) return run_.boxes.push_back(b);
    if (!run_.boxes.empty()) {
      // Kept between runs: each run clears what it marked.
      if (run_.cover.empty()) run_.cover.assign(2 * kMaxRun + 1, 0);
      for (const Box& kept : run_.boxes) Mark(kept);
      run_.boxes.clear();
    }
    Mark(b);
  }
  // Draws the run that is being gathered, if any.
  void EndRun() {
    if (run_.count == 0) return;
    run_.count = 0;
    if (!run_.boxes.empty()) {
      pending_.insert(pending_.end(), run_.boxes.begin(), run_.boxes.end());
      run_.boxes.clear();
      return;
    }
    const bool row = run_.along == BarRun::Row;
    const int origin = From(run_.first, run_.along) - kMaxRun;
    unsigned char* const along = run_.cover.data() + (run_.lo - origin);
    const int length = run_.hi - run_.lo;
    // Only what lies on the page is kept: a document holds every picture of
    // a page until the page ends, and a barcode may run far past the label.
    double cx1, cy1, cx2, cy2;
    cairo_clip_extents(cr_, &cx1, &cy1, &cx2, &cy2);
    const Box& f = run_.first;
    const double across1 = row ? f.y1 : f.x1, across2 = row ? f.y2 : f.x2;
    const int from = std::max(run_.lo, static_cast<int>(std::floor(row ? cx1 : cy1)));
    const int to = std::min(run_.hi, static_cast<int>(std::ceil(row ? cx2 : cy2)));
    if (from < to && across1 < (row ? cy2 : cx2) && across2 > (row ? cy1 : cx1)) {
      // One row of pixels; a column is that row turned (x and y swapped),
      // which keeps the picture as small as a row's.
      cairo_surface_t* line = cairo_image_surface_create(CAIRO_FORMAT_A8, to - from, 1);
      cairo_surface_flush(line);
      unsigned char* px = cairo_image_surface_get_data(line);
      if (cairo_surface_status(line) == CAIRO_STATUS_SUCCESS && px) {
        std::copy(along + (from - run_.lo), along + (to - run_.lo), px);
        cairo_surface_mark_dirty(line);
        cairo_pattern_t* mask = cairo_pattern_create_for_surface(line);
        cairo_pattern_set_filter(mask, CAIRO_FILTER_NEAREST);
        cairo_save(cr_);
        Use(pendingColour_);
        cairo_matrix_t m;
        if (row)
          cairo_matrix_init(&m, 1, 0, 0, f.y2 - f.y1, from, f.y1);
        else
          cairo_matrix_init(&m, 0, 1, f.x2 - f.x1, 0, f.x1, from);
        cairo_transform(cr_, &m);
        cairo_mask(cr_, mask);
        cairo_restore(cr_);
        cairo_pattern_destroy(mask);
      }
      cairo_surface_destroy(line);
    }
    std::fill(along, along + length, 0);
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
  BarRun run_;
  std::map<std::string, cairo_font_face_t*> faces_;
  std::map<std::string, Font> metrics_;
  cairo_font_face_t* monoFace_ = nullptr;
  Mono mono_;
  std::string family_ = FontFamilyFor("MS Sans Serif");
  int points_ = 10;
  bool bold_ = false;
  Colour fontColour_ = kBlack;
};

}  // namespace imptherm::posix
