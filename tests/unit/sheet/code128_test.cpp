#include "sheet/code128.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fakes/fake_platform.h"

namespace imptherm {
namespace {

// Paints on the recording canvas: the fills are the white background, then
// the bars.
class PaintTest : public ::testing::Test {
 protected:
  std::vector<fakes::FakeDocuments::Op> Paint(const std::string& code, double module, int x1, int y1, int x2, int y2) {
    BarcodeSettings s;
    s.code = code;
    s.barWidth = module;
    auto doc = f.documents.StartDocument("P", "T");
    PaintBarcode(doc->page(), s, x1, y1, x2, y2);
    return f.documents.documents.back().ops;
  }
  fakes::FakePlatform f;
};

TEST_F(PaintTest, WhiteFillThenBarsOverTheMiddleEightyPercent) {
  const auto ops = Paint("1234", 14, 90, 432, 195, 810);
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops[0].colour, kWhite);
  EXPECT_EQ(std::tie(ops[0].x1, ops[0].y1, ops[0].x2, ops[0].y2), std::make_tuple(90, 432, 195, 810));
  // 14 thousandths at 300 dpi: 4.2 -> 4 pixels a module. Start C begins with a
  // bar of 2 modules at the left edge, since the symbol is wider than 105 px.
  EXPECT_EQ(ops[1].colour, kBlack);
  EXPECT_EQ(ops[1].x1, 90);
  EXPECT_EQ(ops[1].x2 - ops[1].x1, 8);
  const int margin = (810 - 432 + 5) / 10;
  EXPECT_EQ(ops[1].y1, 432 + margin);
  EXPECT_EQ(ops[1].y2, 810 - margin);
  // Start, 12, 34 and the check character of 11 modules, the stop of 13:
  // 57 modules; the stop's last bar ends there. Three bars a character, four
  // in the stop.
  EXPECT_EQ(ops.back().x2, 90 + 57 * 4);
  EXPECT_EQ(ops.size(), 1u + 4 * 3 + 4);
}

TEST_F(PaintTest, NarrowSymbolIsCentredAndModuleFollowsResolution) {
  f.documents.resolution = {600, 600};
  const auto ops = Paint("12", 16, 0, 0, 2000, 100);
  // 16 thousandths at 600 dpi: 9.6 -> 10 pixels; start, 12, check, stop: 46 modules.
  const int width = 46 * 10;
  EXPECT_EQ(ops[1].x1, (2000 - width) / 2);
  EXPECT_EQ(ops.back().x2, (2000 - width) / 2 + width);
}

}  // namespace
}  // namespace imptherm
