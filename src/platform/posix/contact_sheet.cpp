#include "platform/posix/contact_sheet.h"

#include <algorithm>
#include <cmath>

#include "platform/error.h"
#include "platform/posix/a1_dots.h"

namespace imptherm::posix {
namespace {

constexpr int kGap = 16;      // around the labels, in pixels
constexpr int kCaption = 20;  // the line of a label's name under it
constexpr double kCaptionPixels = 13;

// As square as the labels' count allows, each cell the size of the largest.
struct Grid {
  Grid(std::size_t labels, int labelWidth, int labelHeight)
      : columns(static_cast<long>(std::ceil(std::sqrt(static_cast<double>(labels))))),
        rows(columns > 0 ? (static_cast<long>(labels) + columns - 1) / columns : 0),
        cellWidth(labelWidth + kGap),
        cellHeight(labelHeight + kCaption + kGap) {}
  long Width() const { return kGap + columns * cellWidth; }
  long Height() const { return kGap + rows * cellHeight; }
  long columns, rows, cellWidth, cellHeight;
};

cairo_status_t AppendTo(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void ContactSheet::Add(cairo_surface_t* dots, int dotsPerInch, const std::string& name) {
  // A pixel for each square of `step` by `step` dots, as grey as the share
  // of them that is set: a thin bar stays a grey line rather than vanish.
  const int step = std::max(1, static_cast<int>(std::lround(dotsPerInch / kPixelsPerInch)));
  const int dotsWide = cairo_image_surface_get_width(dots), dotsHigh = cairo_image_surface_get_height(dots);
  const int width = (dotsWide + step - 1) / step, height = (dotsHigh + step - 1) / step;
  const Grid grid(labels_.size() + 1, std::max(largestWidth_, width), std::max(largestHeight_, height));
  if (labels_.size() >= kMaxLabels || grid.Width() * grid.Height() > kMaxPixels) {
    ++leftOut_;
    return;
  }
  Surface ink(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height), cairo_surface_destroy);
  if (cairo_surface_status(ink.get()) != CAIRO_STATUS_SUCCESS)
    throw PlatformError("cannot make the picture of " + name + " for the contact sheet " + path_);
  cairo_surface_flush(dots);
  cairo_surface_flush(ink.get());
  const unsigned char* from = cairo_image_surface_get_data(dots);
  unsigned char* to = cairo_image_surface_get_data(ink.get());
  const int fromStride = cairo_image_surface_get_stride(dots), toStride = cairo_image_surface_get_stride(ink.get());
  std::vector<int> set(static_cast<std::size_t>(width));
  for (int y = 0; y < height; ++y) {
    std::fill(set.begin(), set.end(), 0);
    for (int dotY = y * step; dotY < std::min(dotsHigh, (y + 1) * step); ++dotY) {
      const unsigned char* row = from + static_cast<std::ptrdiff_t>(dotY) * fromStride;
      for (int x = 0; x < dotsWide; ++x)
        if (row[x >> 3] & DotMask(x & 7, (x & 7) + 1)) ++set[x / step];
    }
    for (int x = 0; x < width; ++x)
      to[static_cast<std::ptrdiff_t>(y) * toStride + x] = static_cast<unsigned char>(set[x] * 255 / (step * step));
  }
  cairo_surface_mark_dirty(ink.get());
  labels_.push_back({std::move(ink), name});
  largestWidth_ = std::max(largestWidth_, width), largestHeight_ = std::max(largestHeight_, height);
}

void ContactSheet::Write() const {
  const Grid grid(labels_.size(), largestWidth_, largestHeight_);
  Surface sheet(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(grid.Width()), static_cast<int>(grid.Height())),
      cairo_surface_destroy);
  cairo_t* cr = cairo_create(sheet.get());
  cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
  cairo_paint(cr);
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kCaptionPixels);
  for (std::size_t i = 0; i < labels_.size(); ++i) {
    const Label& label = labels_[i];
    const double x = static_cast<double>(kGap + static_cast<long>(i) % grid.columns * grid.cellWidth);
    const double y = static_cast<double>(kGap + static_cast<long>(i) / grid.columns * grid.cellHeight);
    const int height = cairo_image_surface_get_height(label.ink.get());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, x, y, cairo_image_surface_get_width(label.ink.get()), height);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_mask_surface(cr, label.ink.get(), x, y);
    cairo_move_to(cr, x, y + height + kCaption - 5);
    cairo_show_text(cr, label.name.c_str());
  }
  cairo_destroy(cr);
  std::string png;
  const cairo_status_t status = cairo_surface_write_to_png_stream(sheet.get(), AppendTo, &png);
  if (status != CAIRO_STATUS_SUCCESS)
    throw PlatformError("cannot draw the contact sheet " + path_ + ": " + cairo_status_to_string(status));
  WriteWholeFile(path_, png, notThis_);
}

}  // namespace imptherm::posix
