#pragma once
#include <cairo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/posix_output_file.h"

namespace imptherm::posix {

// The labels of a preview side by side in one PNG picture, each at about
// kPixelsPerInch (a whole number of dots a pixel) with its picture's name
// under it, to look a run over at a
// glance. It holds the first labels that fit in kMaxPixels (and at most
// kMaxLabels); the others are only counted.
class ContactSheet {
 public:
  static constexpr double kPixelsPerInch = 100;
  static constexpr long kMaxPixels = 12'000'000;
  static constexpr std::size_t kMaxLabels = 256;

  // notThis: a file never written over (the job being drawn).
  explicit ContactSheet(std::string path, std::optional<FileIdentity> notThis = std::nullopt)
      : path_(std::move(path)), notThis_(notThis) {}

  // A label's dots as a cairo A1 surface holds them (a1_dots.h), all set.
  void Add(cairo_surface_t* dots, int dotsPerInch, const std::string& name);
  // Raises PlatformError naming the file when it cannot be written.
  void Write() const;

  std::size_t labels() const { return labels_.size(); }
  std::size_t leftOut() const { return leftOut_; }

 private:
  using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
  struct Label {
    Surface ink;  // A8: how much of each pixel the dots cover
    std::string name;
  };
  std::string path_;
  std::optional<FileIdentity> notThis_;
  std::vector<Label> labels_;
  int largestWidth_ = 0, largestHeight_ = 0;  // of the labels' pictures
  std::size_t leftOut_ = 0;
};

}  // namespace imptherm::posix
