// Sheets drawn by cairo into a PDF, rendered at 300 dpi by pdftoppm, read
// back by zbarimg and by probing the pixels of known items.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "common/label_record.h"
#include "fakes/fake_platform.h"
#include "fakes/sheet_records.h"
#include "integration/page_probe.h"
#include "platform/posix/cairo_documents.h"
#include "run/core_stages.h"
#include "run/module.h"
#include "sheet/code128.h"

namespace imptherm {
namespace {
namespace fs = std::filesystem;
using fakes::MakeRecord;
using fakes::RecordShape;

class SheetPdfTest : public ::testing::Test {
 protected:
  SheetPdfTest() : pdf(f.temp.path() + "sheets.pdf"), documents(pdf) {
    module.runLog.SetWorkFolder(f.temp.path());
    run.nbEtiquColis = 1;
    run.nbEtiquPalettes = 1;
    module.stages = MakeCoreStages(module);
  }

  // One sheet print run over the records, the chooser answering `slot`.
  void PrintSheets(const std::vector<RecordLines>& records, int slot) {
    PrintStages& s = *module.stages;
    f.chooser.answers = {slot};
    if (!s.PositionChooserExists()) s.CreatePositionChooser();
    ASSERT_EQ(s.ShowPositionChooser(), ChooserResult::Ok);
    bool first = true;
    for (const RecordLines& r : records) {
      s.PrintSheetRecord(run, r, first);
      first = false;
    }
    s.EndSheetDocument();
  }

  // Renders every page twice: PNG for zbarimg, grey levels for the probes.
  void Render() {
    const std::string prefix = f.temp.path() + "page";
    Shell("pdftoppm -r 300 -png '" + pdf + "' '" + prefix + "'");
    Shell("pdftoppm -r 300 -gray '" + pdf + "' '" + prefix + "'");
    for (int n = 1;; ++n) {
      const std::string png = prefix + "-" + std::to_string(n) + ".png";
      if (!fs::exists(png)) break;
      pngs.push_back(png);
      pages.push_back(ReadPgm(prefix + "-" + std::to_string(n) + ".pgm"));
    }
  }

  // What zbarimg reads on a page, sorted.
  std::vector<std::string> Decode(std::size_t page) {
    std::vector<std::string> codes;
    std::istringstream out(Shell("zbarimg -q '" + pngs.at(page) + "' 2>/dev/null"));
    for (std::string line; std::getline(out, line);)
      if (line.rfind("CODE-128:", 0) == 0) codes.push_back(line.substr(9));
    std::sort(codes.begin(), codes.end());
    return codes;
  }

  // The barcode data of each label of a record, as the record API derives it.
  static std::vector<std::string> BarcodeData(const RecordLines& record, bool baggage) {
    LabelRecord label;
    ReadRecordHeader(record, label);
    std::vector<std::string> out;
    for (int i = 1; i <= label.LabelTotal(); ++i) {
      LoadLabelFields(record, label, 6);
      DeriveLabelFields(label, i, "", baggage);
      out.push_back(label.Fields[32]);
    }
    return out;
  }

  fakes::FakePlatform f;
  std::string pdf;
  posix::CairoDocuments documents;
  Platform platform = f.With({.documents = &documents});
  Module module{platform};
  RunOptions run{"0", "", "", 0, 0, {}};
  std::vector<std::string> pngs;
  std::vector<Page> pages;
};

TEST_F(SheetPdfTest, SlotThreeChosenPlacesLabelsInOrderAndEveryBarcodeDecodes) {
  RecordShape shape;
  shape.parcels = 2;
  shape.pallets = 1;
  shape.fields = fakes::ParcelFields();
  const RecordLines record = MakeRecord(shape);
  PrintSheets({record}, 3);
  Render();
  ASSERT_EQ(pages.size(), 2u);

  // Style 1 paints the left half of the header band black: label 1 bottom
  // left, label 2 bottom right, label 3 top left of page 2.
  auto labelAt = [&](std::size_t page, int slot) {
    const int x0 = slot % 2 == 1 ? 0 : 394, y0 = slot <= 2 ? 25 : 570;
    return pages[page].Black(x0 + 180, y0 + 100) && pages[page].Black(x0, y0 + 200);
  };
  EXPECT_FALSE(labelAt(0, 1));
  EXPECT_FALSE(labelAt(0, 2));
  EXPECT_TRUE(labelAt(0, 3));
  EXPECT_TRUE(labelAt(0, 4));
  EXPECT_TRUE(labelAt(1, 1));
  EXPECT_FALSE(labelAt(1, 2));
  EXPECT_FALSE(labelAt(1, 3));

  // The bars start at the rectangle's left edge (30 units into the label);
  // the start character opens with a bar of two modules of round(14 / 1000 x
  // 300) = 4 pixels, and the bars span 10% to 90% of the rectangle's height.
  const int corner = static_cast<int>(posix::kPrintableOffsetInches * 300);
  const int barX = corner + 30 * 3, barMid = corner + (570 + 207) * 3;
  EXPECT_GT(pages[0].Pixel(barX - 1, barMid), 200);
  int run = 0;
  while (pages[0].Pixel(barX + run, barMid) < 100) ++run;
  EXPECT_EQ(run, 8);
  const int top = corner + (570 + 144) * 3, height = 126 * 3;
  EXPECT_GT(pages[0].Pixel(barX + 2, top + height / 10 - 2), 200);
  EXPECT_LT(pages[0].Pixel(barX + 2, top + height / 10 + 2), 100);
  EXPECT_LT(pages[0].Pixel(barX + 2, top + height * 9 / 10 - 2), 100);
  EXPECT_GT(pages[0].Pixel(barX + 2, top + height * 9 / 10 + 2), 200);

  std::vector<std::string> data = BarcodeData(record, false);
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[0].size(), 32u);
  std::vector<std::string> page1{data[0], data[1]};
  std::sort(page1.begin(), page1.end());
  EXPECT_EQ(Decode(0), page1);
  EXPECT_EQ(Decode(1), std::vector<std::string>{data[2]});
}

TEST_F(SheetPdfTest, CopiesCarryTwoStrokesAndTheOriginalNone) {
  run.nbEtiquColis = 2;
  RecordShape shape;
  shape.parcels = 2;
  shape.fields = fakes::ParcelFields();
  PrintSheets({MakeRecord(shape)}, 1);
  Render();
  ASSERT_EQ(pages.size(), 1u);
  // Label 1, its copy, label 2, its copy. Points on the two strokes where the
  // layout itself draws nothing.
  auto struck = [&](int slot) {
    const int x0 = slot % 2 == 1 ? 0 : 394, y0 = slot <= 2 ? 25 : 570;
    const double u = 100;
    return pages[0].Black(x0 + u, y0 + 400 - (u - 5) * 100 / 379) &&
           pages[0].Black(x0 + u, y0 + 200 - (u - 5) * 100 / 379);
  };
  EXPECT_FALSE(struck(1));
  EXPECT_TRUE(struck(2));
  EXPECT_FALSE(struck(3));
  EXPECT_TRUE(struck(4));
  // The strokes cross the copies' bars on purpose; the originals read.
  const std::vector<std::string> data = BarcodeData(MakeRecord(shape), false);
  EXPECT_EQ(Decode(0), (std::vector<std::string>{data[0], data[1]}));
}

TEST_F(SheetPdfTest, BaggageRecordGetsItsPickupRequestAndTheBareRecordNone) {
  run.header.BaggageMode = true;
  RecordShape bag;
  bag.kind = "{HOB";
  bag.parcels = 1;
  bag.baggage = {"15/03/2026",      "10h30",       "ORLY",      "700123456789",
                 "Hotel du Port",   "12 quai Est", "Paris",     "Tel 0102",
                 "UM VALISE BLEUE", "UM SAC NOIR", "UM CARTON", "UG POUSSETTE"};
  bag.fields = {{1, "2"}, {7, "0001"}, {11, "12345678"}, {18, "D-4711"}};
  RecordShape bare = bag;
  bare.baggage = {"15/03/2026", "10h30", "ORLY", "", "", "", "", "", "UG POUSSETTE", "UG VELO"};
  bare.fields = {{1, "2"}, {18, "D-4712"}};
  PrintSheets({MakeRecord(bag), MakeRecord(bare)}, 1);
  Render();
  ASSERT_EQ(pages.size(), 1u);
  const Page& p = pages[0];
  // Slot 1: the pickup request, with its inverse title band and three tick
  // boxes 12 units apart (the UG line ends nothing here: it is the 4th).
  EXPECT_TRUE(p.Black(2, 85));
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(p.Black(215, 230 + 12 * k)) << k;
    EXPECT_FALSE(p.Black(220, 230 + 12 * k)) << k;
  }
  EXPECT_FALSE(p.Black(215, 230 + 12 * 3));
  // Slot 2: label 1 of the baggage record, style 2: right half black.
  EXPECT_TRUE(p.Black(394 + 300, 100));
  // Slot 3: label 1 of the bare record, no pickup request before it and no
  // barcode: "Dossier No" in 20 points where the bars would be.
  EXPECT_TRUE(p.Black(394 + 300 - 394, 570 + 100));
  EXPECT_GT(p.DarkIn(10, 570 + 200, 150, 570 + 225), 200);
  EXPECT_EQ(p.DarkIn(30, 570 + 160, 65, 570 + 190), 0);
  // Read back: the pickup request's baggage line 9 and label 1's data.
  LabelRecord label;
  const RecordLines r = MakeRecord(bag);
  ReadRecordHeader(r, label);
  LoadLabelFields(r, label, 17);
  label.Fields[1] = label.Fields[1].empty() ? "0" : label.Fields[1];
  DeriveLabelFields(label, 1, "", true);
  std::vector<std::string> expected{"700123456789", label.Fields[32]};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Decode(0), expected);
}

// The demonstration's label data files, cut into records as the driver does
// (after their four header lines): page count and every label's barcode.
TEST_F(SheetPdfTest, SampleParcelFileFillsPagesFromSlotThreeAndEveryOriginalReads) {
  std::ifstream in(std::string(IMPTHERM_SOURCE_DIR) + "/data/sample/sheet_parcels.txt", std::ios::binary);
  DataLines lines;
  int header = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (header++ >= 4) lines.push_back(line);
  }
  std::vector<RecordLines> records;
  for (std::size_t i = 0; i < lines.size();) {
    RecordLines r;
    i = GroupRecordLines(lines, i, r);
    if (!r.empty()) records.push_back(r);
  }
  ASSERT_EQ(records.size(), 3u);
  run.nbEtiquColis = 2;
  run.nbEtiquPalettes = 1;
  std::set<std::string> expected;
  int items = 0;
  for (const RecordLines& r : records) {
    LabelRecord label;
    ReadRecordHeader(r, label);
    const std::vector<std::string> data = BarcodeData(r, false);
    expected.insert(data.begin(), data.end());
    for (int i = 1; i <= label.LabelTotal(); ++i) items += i <= label.ParcelCount ? 2 : 1;
  }
  PrintSheets(records, 3);
  Render();
  EXPECT_EQ(static_cast<int>(pages.size()), (2 + items + 3) / 4);
  std::set<std::string> read;
  for (std::size_t p = 0; p < pages.size(); ++p)
    for (const std::string& code : Decode(p)) read.insert(code);
  EXPECT_EQ(read, expected);
}

// Symbols of awkward data (odd digit runs in subset C, switches both ways,
// blanks, punctuation) as a scanner reads them.
TEST(Code128OnPaper, EveryContentDecodesToItsData) {
  fakes::TempDir dir;
  const std::vector<std::string> data = {"123",
                                         "1234567",
                                         "AB12345678",
                                         "12AB345",
                                         "AIM1234",
                                         "A1B2C3",
                                         "7",
                                         "Hello World 42",
                                         "abc123456789",
                                         "#-/.+ 00012 999",
                                         "99 0001123456045112345678002751 2"};
  posix::CairoDocuments documents(dir.path() + "codes.pdf");
  std::unique_ptr<DrawnDocument> doc = documents.StartDocument("", "t");
  BarcodeSettings settings;
  settings.barWidth = 14;
  for (std::size_t i = 0; i < data.size(); ++i) {
    settings.code = BuildCode128Content(data[i]);
    const int y = 60 + static_cast<int>(i) * 280;
    PaintBarcode(doc->page(), settings, 90, y, 190, y + 200);
  }
  doc->End();
  Shell("pdftoppm -r 300 -png -singlefile '" + dir.path() + "codes.pdf' '" + dir.path() + "codes'");
  std::vector<std::string> read;
  std::istringstream out(Shell("zbarimg -q '" + dir.path() + "codes.png' 2>/dev/null"));
  for (std::string line; std::getline(out, line);)
    if (line.rfind("CODE-128:", 0) == 0) read.push_back(line.substr(9));
  std::vector<std::string> expected = data;
  std::sort(expected.begin(), expected.end());
  std::sort(read.begin(), read.end());
  EXPECT_EQ(read, expected);
}

}  // namespace
}  // namespace imptherm
