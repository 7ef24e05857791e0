#include "sheet/code128.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace imptherm {

void PaintBarcode(Canvas& canvas, const BarcodeSettings& settings, int x1, int y1, int x2, int y2) {
  canvas.FillRectangle(x1, y1, x2, y2, kWhite);
  const std::vector<int> values = EncodeCode128(settings.code, settings.startSubset, settings.extendedSyntax);
  const int module = std::max(1, static_cast<int>(std::lround(settings.barWidth / 1000.0 * canvas.ResolutionX())));
  int modules = 0;
  for (int v : values)
    for (char w : Code128Pattern(v)) modules += w - '0';
  const int width = modules * module;
  int x = width < x2 - x1 ? x1 + (x2 - x1 - width) / 2 : x1;
  const int margin = static_cast<int>(std::lround((y2 - y1) * 0.1));
  for (int v : values) {
    bool bar = true;
    for (char w : Code128Pattern(v)) {
      const int dx = (w - '0') * module;
      if (bar) canvas.FillRectangle(x, y1 + margin, x + dx, y2 - margin, settings.barColour);
      x += dx;
      bar = !bar;
    }
  }
}

}  // namespace imptherm
