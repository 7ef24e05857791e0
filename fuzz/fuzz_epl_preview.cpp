// EPL2 jobs of any bytes, cut into two pieces at any place, drawn by the
// preview on a canvas that checks every call: any job gives labels and
// notes, never a crash, and never a picture larger than a real label.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "preview/epl_preview.h"

using namespace imptherm;

namespace {

constexpr int kDpi = 203;
// Fields may lie partly outside the label, but only as far as numbers of
// five digits reach.
constexpr int kReach = 4 * 100000;

void Check(bool ok) {
  if (!ok) std::abort();
}

class CheckingCanvas final : public Canvas {
 public:
  int ResolutionX() const override { return kDpi; }
  int ResolutionY() const override { return kDpi; }
  void SetPen(int, Colour, PenStyle) override {}
  void SetPenWidth(int) override {}
  void SetBrush(std::optional<Colour>) override {}
  void SetFont(const std::string&, int, bool, Colour) override {}
  void DrawText(int x, int y, const std::string&, std::optional<int>, std::optional<Colour>) override { Near(x, y); }
  void DrawLine(int x1, int y1, int x2, int y2) override { Area(x1, y1, x2, y2); }
  void DrawRectangle(int x1, int y1, int x2, int y2) override { Area(x1, y1, x2, y2); }
  void FillRectangle(int x1, int y1, int x2, int y2, Colour) override { Area(x1, y1, x2, y2); }
  void InvertRectangle(int x1, int y1, int x2, int y2) override { Area(x1, y1, x2, y2); }
  void FillPolygon(const std::vector<imptherm::Point>& corners, Colour) override {
    for (const imptherm::Point& p : corners) Near(p.x, p.y);
  }
  void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                    Colour) override {
    Near(x, y);
    Check(cellWidth > 0 && cellWidth <= 48 * 9 && cellHeight > 0 && cellHeight <= 80 * 9);
    Check(quarterTurns >= 0 && quarterTurns <= 3 && text.size() <= EplPreview::kMaxLineLength);
  }

 private:
  static void Near(int x, int y) { Check(x > -kReach && x < kReach && y > -kReach && y < kReach); }
  static void Area(int x1, int y1, int x2, int y2) {
    Near(x1, y1);
    Near(x2, y2);
  }
};

class CheckingPictures final : public LabelPictures {
 public:
  Canvas& StartLabel(int width, int length, int dpi) override {
    Check(dpi == kDpi && width > 0 && width <= MaxLabelWidthDots(dpi) && length > 0 &&
          length <= MaxLabelLengthDots(dpi));
    return canvas_;
  }
  void EndLabel(int copies) override { Check(copies >= 1); }
  void Finish() override {}

 private:
  CheckingCanvas canvas_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view job(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = size ? data[0] % (size + 1) : 0;
  CheckingPictures pictures;
  EplPreview preview(pictures, {kDpi, 0, 0});
  preview.Write(job.substr(0, cut));
  preview.Write(job.substr(cut));
  preview.Finish();
  Check(preview.notes().size() <= EplPreview::kMaxNotes);
  for (const PreviewNote& n : preview.notes()) Check(n.line >= 1 && !n.text.empty());
  return 0;
}
