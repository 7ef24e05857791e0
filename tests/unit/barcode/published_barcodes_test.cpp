#include "unit/barcode/published_barcodes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "barcode/code128.h"
#include "barcode/code39.h"
#include "barcode/ean13.h"
#include "barcode/interleaved_2_of_5.h"

namespace imptherm {
namespace {

// The symbol as the preview encodes the barcode type, Code 128 written out
// as widths like the others.
std::optional<BarSymbol> Encode(std::string_view type, std::string_view data) {
  if (type == "1") {
    BarSymbol symbol{"", std::string(data)};
    for (int value : EncodeCode128Minimal(data)) symbol.elements += Code128Pattern(value);
    return symbol;
  }
  if (type == "3") return EncodeCode39(data);
  if (type == "2") return EncodeInterleaved2of5(data);
  if (type == "E30") return EncodeEan13(data);
  if (type == "UA0") return EncodeUpcA(data);
  ADD_FAILURE() << "no encoder for type " << type;
  return std::nullopt;
}

TEST(PublishedBarcodeTest, CheckDigitsAndWidthsAsPublished) {
  for (const PublishedBarcode& b : kPublishedBarcodes) {
    SCOPED_TRACE(std::string(b.type) + " " + b.data);
    const std::optional<BarSymbol> symbol = Encode(b.type, b.data);
    if (!b.readable) {
      EXPECT_FALSE(symbol);
      continue;
    }
    ASSERT_TRUE(symbol);
    EXPECT_EQ(symbol->humanReadable, b.readable);
    std::string elements = b.elements;
    std::erase(elements, ' ');
    EXPECT_EQ(symbol->elements, elements);
  }
}

}  // namespace
}  // namespace imptherm
