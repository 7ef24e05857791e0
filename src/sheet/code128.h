#pragma once
#include <string>

#include "barcode/code128.h"
#include "platform/canvas.h"

namespace imptherm {

// The shared barcode object: Code 128, one per loaded module.
struct BarcodeSettings {
  Code128Subset startSubset = Code128Subset::C;
  bool addCheckChar = true;  // Code 128 always carries it; kept for the record
  bool extendedSyntax = true;
  Colour barColour = kBlack;
  double narrowToWideRatio = 2;
  double barToSpaceRatio = 1.0;
  double barWidth = 12.0;  // module width, thousandths of an inch
  bool bearerBars = false;
  std::string code = "123456789012";
  int height = 75;  // pixels
  int width = 150;  // pixels
  bool showCode = false;
  bool showGuardChars = false;
  bool tallGuardBars = false;
};

// Paints the symbol of settings.code into the device rectangle: the
// rectangle filled white, bars from 10% to 90% of its height, the module
// round(barWidth / 1000 * horizontal resolution) pixels (at least one), from
// the left edge on (centred when the symbol is narrower than the rectangle).
void PaintBarcode(Canvas& canvas, const BarcodeSettings& settings, int x1, int y1, int x2, int y2);

}  // namespace imptherm
