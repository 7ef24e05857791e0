#include "sheet/sheet_printer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fakes/fake_platform.h"
#include "fakes/sheet_records.h"
#include "platform/error.h"

namespace imptherm {
namespace {
using fakes::MakeRecord;
using fakes::RecordShape;
using Op = fakes::FakeDocuments::Op;

// Where something was drawn: page and slot.
struct Place {
  int page, slot;
  friend bool operator==(const Place&, const Place&) = default;
};
std::ostream& operator<<(std::ostream& o, const Place& p) { return o << "page " << p.page << " slot " << p.slot; }

class SheetPrinterTest : public ::testing::Test {
 protected:
  SheetPrinterTest() {
    runLog.SetWorkFolder(f.temp.path());
    run.nbEtiquColis = 1;
    run.nbEtiquPalettes = 1;
    f.printers.names = {"Zebra", "HP LaserJet"};
    f.printers.defaultPrinter = "Zebra";
  }

  // A print run as the driver makes it: chooser, records, end of document.
  void Print(const std::vector<RecordLines>& records, int slot = 1, const std::string& printer = "") {
    f.chooser.answers = {slot};
    chooser.InitPrinterScale(printerObject);
    ASSERT_EQ(chooser.Show(), ChooserResult::Ok);
    run.prnName = printer;
    bool first = true;
    for (const RecordLines& r : records) {
      sheet.PrintSheetRecord(run, r, first);
      first = false;
    }
    labelsPrinted = sheet.EndDocument();
  }
  int labelsPrinted = -1;
  const fakes::FakeDocuments::Document& Doc() { return f.documents.documents.at(0); }
  int Scale() const { return chooser.ScaleX(); }

  // Label and pickup frames (white-brushed rectangles), by place and height.
  std::vector<Place> Frames(int height) {
    std::vector<Place> out;
    for (const Op& op : Doc().ops) {
      if (op.kind != Op::Rectangle || op.background != kWhite || op.y2 - op.y1 != height * Scale()) continue;
      const int x = op.x1 / Scale(), y = op.y1 / Scale();
      const int slot = (y >= 570 ? 3 : 1) + (x >= 394 ? 1 : 0);
      out.push_back({op.page, slot});
    }
    return out;
  }
  std::vector<Op> Texts(const std::string& text) {
    std::vector<Op> out;
    for (const Op& op : Doc().ops)
      if (op.kind == Op::Text && op.text == text) out.push_back(op);
    return out;
  }
  std::vector<Op> Strokes() {
    std::vector<Op> out;
    for (const Op& op : Doc().ops)
      if (op.kind == Op::Line && op.penWidth == 2 * Scale()) out.push_back(op);
    return out;
  }
  int BlackFills() {
    return static_cast<int>(std::count_if(Doc().ops.begin(), Doc().ops.end(),
                                          [](const Op& op) { return op.kind == Op::Fill && op.colour == kBlack; }));
  }
  std::vector<std::string> RunLogLines() {
    std::vector<std::string> lines;
    const std::string text = f.temp.Read("OWTMP.LOG");
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(text.substr(pos + 20, end - pos - 20));  // after the time stamp
    return lines;
  }
  static RecordLines Labels(int parcels, int pallets = 0, const std::string& kind = "{KAV") {
    RecordShape s;
    s.kind = kind;
    s.parcels = parcels;
    s.pallets = pallets;
    s.fields = fakes::ParcelFields();
    return MakeRecord(s);
  }
  // A baggage record: lines 6 to 13, the UM and UG run, then the fields.
  static RecordLines Baggage(int parcels, int pallets, std::vector<std::string> run,
                             const std::string& line9 = "7001") {
    RecordShape s;
    s.parcels = parcels;
    s.pallets = pallets;
    s.baggage = {"15/03/2026", "10h30", "ORLY", line9, "Hotel", "Quai", "Paris", "Tel"};
    s.baggage.insert(s.baggage.end(), run.begin(), run.end());
    s.fields = {{18, "D-1"}, {19, "R-9"}};
    return MakeRecord(s);
  }

  fakes::FakePlatform f;
  RunOptions run;
  RunLog runLog{f.system};
  PrinterObject printerObject{f.printers};
  LabelRecord label;
  BarcodeSettings barcode;
  PositionChooser chooser{f.platform};
  SheetPrinter sheet{SheetContext{f.platform, runLog, printerObject, label, barcode, chooser}};
};

TEST_F(SheetPrinterTest, ChosenSlotThreeFillsTheSheetThenStartsANewPage) {
  Print({Labels(3)}, 3);
  EXPECT_EQ(Frames(kLabelHeight), (std::vector<Place>{{1, 3}, {1, 4}, {2, 1}}));
  EXPECT_EQ(Doc().pages, 2);
  EXPECT_TRUE(Doc().ended);
  EXPECT_EQ(Doc().title, "ImpThermOrvane");
  EXPECT_EQ(Texts("1 / 3").size(), 1u);
  EXPECT_EQ(Texts("3 / 3").at(0).page, 2);
}

TEST_F(SheetPrinterTest, AStopBetweenTwoLabelsLeavesNoLabelHalfDrawn) {
  f.ui.stopAfter = 2;
  EXPECT_THROW(Print({Labels(4)}), RunAbandoned);
  EXPECT_EQ(Frames(kLabelHeight), (std::vector<Place>{{1, 1}, {1, 2}}));
  EXPECT_EQ(Texts("2 / 4").size(), 1u);
  sheet.AbortDocument();
  EXPECT_FALSE(Doc().ended);
}

TEST_F(SheetPrinterTest, HeaderFlagStartsEveryRecordOnAPageOfItsOwn) {
  Print({Labels(3), Labels(3)});
  EXPECT_EQ(Frames(kLabelHeight), (std::vector<Place>{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 2}}));

  f.documents.documents.clear();
  run.header.HeaderFlag = true;
  Print({Labels(3), Labels(3)});
  EXPECT_EQ(Frames(kLabelHeight), (std::vector<Place>{{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}}));
  EXPECT_EQ(sheet.position(), 4);
}

TEST_F(SheetPrinterTest, CopiesTakeTheirOwnSlotsAndCarryTwoStrokes) {
  run.nbEtiquColis = 3;
  run.nbEtiquPalettes = 1;
  Print({Labels(2, 1)});
  // Parcel 1 three times, parcel 2 three times, the pallet once.
  EXPECT_EQ(Frames(kLabelHeight), (std::vector<Place>{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 2}, {2, 3}}));
  EXPECT_EQ(Texts("1 / 3").size(), 3u);
  EXPECT_EQ(Texts("2 / 3").size(), 3u);
  EXPECT_EQ(Texts("3 / 3").size(), 1u);
  EXPECT_EQ(labelsPrinted, 7);
  const std::vector<Op> strokes = Strokes();
  ASSERT_EQ(strokes.size(), 8u);
  // The first copy sits in slot 2 of page 1.
  const int s = Scale();
  EXPECT_EQ(std::tie(strokes[0].page, strokes[0].x1, strokes[0].y1, strokes[0].x2, strokes[0].y2),
            std::make_tuple(1, (394 + 5) * s, (25 + 400) * s, (394 + 384) * s, (25 + 300) * s));
  EXPECT_EQ(std::tie(strokes[1].x1, strokes[1].y1, strokes[1].x2, strokes[1].y2),
            std::make_tuple((394 + 5) * s, (25 + 200) * s, (394 + 384) * s, (25 + 100) * s));
  // No stroke on an original: slots 1 and 4 of page 1 and slot 3 of page 2.
  for (const Op& st : strokes) {
    const int slot = (st.y1 / s >= 570 ? 3 : 1) + (st.x1 / s >= 394 ? 1 : 0);
    EXPECT_TRUE((st.page == 1 && (slot == 2 || slot == 3)) || (st.page == 2 && (slot == 1 || slot == 2)));
  }
}

TEST_F(SheetPrinterTest, PresetLabelPrintsOneLabelNumberedByField37) {
  run.nbEtiquColis = 2;
  RecordShape s;
  s.parcels = 5;
  s.fields = {{37, " 007 "}, {39, "X"}};
  Print({MakeRecord(s)});
  EXPECT_EQ(Frames(kLabelHeight).size(), 2u);  // the label and its copy
  EXPECT_EQ(Texts("7 / 5").size(), 2u);
  EXPECT_EQ(barcode.code, BuildCode128Content("X"));
}

TEST_F(SheetPrinterTest, HugeCountsAddWithoutOverflow) {
  RecordShape s;
  s.parcels = 2147483647;
  s.pallets = 1;
  s.fields = {{37, "3"}, {39, "X"}};
  Print({MakeRecord(s)});
  EXPECT_EQ(Texts("3 / 2147483648").size(), 1u);
}

TEST_F(SheetPrinterTest, PrinterIsChosenByNameAndEveryMatchIsLogged) {
  f.printers.names = {"HP LaserJet", "Zebra", "hp deskjet"};
  Print({Labels(1)}, 1, "Hp");
  EXPECT_EQ(Doc().printer, "hp deskjet");
  EXPECT_EQ(RunLogLines(),
            (std::vector<std::string>{"fondPage=[{KAV]", "Printer OK: HP LaserJet", "Printer OK: hp deskjet"}));

  for (const std::string name : {"", "Canon"}) {
    f.documents.documents.clear();
    std::filesystem::remove(f.temp.path() + "OWTMP.LOG");
    Print({Labels(1)}, 1, name);
    EXPECT_EQ(Doc().printer, "Zebra") << name;
    EXPECT_EQ(RunLogLines(), std::vector<std::string>{"fondPage=[{KAV]"}) << name;
  }
}

TEST_F(SheetPrinterTest, RecordsWithoutLabelsDrawNothingButStartTheDocument) {
  RecordLines shortRecord{"{KAV", "2", "0"};
  Print({Labels(0), shortRecord, Labels(1)});
  EXPECT_EQ(Frames(kLabelHeight), (std::vector<Place>{{1, 1}}));
  EXPECT_EQ(f.documents.documents.size(), 1u);
  EXPECT_EQ(RunLogLines(), (std::vector<std::string>{"fondPage=[{KAV]", "fondPage=[{KAV]", "fondPage=[{KAV]"}));
}

TEST_F(SheetPrinterTest, ScaleFollowsTheResolutionOfTheCurrentPrinter) {
  EXPECT_EQ(ScaleForResolution(200), 1);
  EXPECT_EQ(ScaleForResolution(299), 1);
  EXPECT_EQ(ScaleForResolution(300), 3);
  EXPECT_EQ(ScaleForResolution(599), 3);
  EXPECT_EQ(ScaleForResolution(600), 6);
  f.documents.resolution = {600, 200};
  Print({Labels(1)}, 2);
  EXPECT_EQ(f.documents.resolutionAsked.at(0), "Zebra");
  EXPECT_EQ(chooser.ScaleX(), 6);
  EXPECT_EQ(chooser.ScaleY(), 1);
  const Op frame = Doc().ops.at(0);
  EXPECT_EQ(std::tie(frame.x1, frame.y1, frame.x2, frame.y2), std::make_tuple(394 * 6, 25, (394 + 384) * 6, 25 + 435));
}

TEST_F(SheetPrinterTest, StyleMarksAndLargeBlockFollowTheRecordKind) {
  auto blackBoxes = [&] {
    std::vector<std::array<int, 4>> out;
    for (const Op& op : Doc().ops)
      if (op.kind == Op::Rectangle && op.background == kBlack)
        out.push_back({op.x1 / 3, op.y1 / 3 - 25, op.x2 / 3, op.y2 / 3 - 25});
    return out;
  };
  using Boxes = std::vector<std::array<int, 4>>;
  struct Case {
    const char* kind;
    Boxes boxes;
    int bigX;  // x of field 02 in 72 points; 0 for none
  } cases[] = {
      {"{KAV", {{0, 0, 197, 109}}, 260},
      {"{HOB", {{197, 0, 384, 109}}, 63},
      {"{DUN", {}, 63},
      {"{J41",
       {{10, 3, 45, 38},
        {10, 73, 45, 108},
        {45, 38, 80, 73},
        {80, 3, 115, 38},
        {80, 73, 115, 108},
        {115, 38, 150, 73},
        {150, 3, 185, 38},
        {150, 73, 185, 108}},
       260},
      {"{K63", {{0, 0, 197, 35}, {0, 74, 197, 109}}, 260},
      {"{KAV ", {}, 0},
      {"{ZAN", {}, 0},
  };
  for (const Case& c : cases) {
    f.documents.documents.clear();
    Print({Labels(1, 0, c.kind)});
    EXPECT_EQ(blackBoxes(), c.boxes) << c.kind;
    std::vector<Op> big;
    for (const Op& op : Doc().ops)
      if (op.kind == Op::Text && op.points == 72) big.push_back(op);
    if (c.bigX == 0) {
      EXPECT_TRUE(big.empty()) << c.kind;
    } else {
      ASSERT_EQ(big.size(), 1u) << c.kind;
      EXPECT_EQ(big[0].x1, c.bigX * 3) << c.kind;
      EXPECT_EQ(big[0].text, "1") << c.kind;
    }
  }
  // The style 1 panel carries field 03 in white on black.
  f.documents.documents.clear();
  Print({Labels(1)});
  const std::vector<Op> kav = Texts("KAV");
  ASSERT_EQ(kav.size(), 1u);
  EXPECT_EQ(kav[0].colour, kWhite);
  EXPECT_EQ(kav[0].background, kBlack);
  EXPECT_EQ(std::tie(kav[0].x1, kav[0].y1, kav[0].points, kav[0].bold), std::make_tuple(18, (25 + 29) * 3, 18, true));
}

TEST_F(SheetPrinterTest, FieldOneZeroPrintsASpaceAndLongTextsAreCut) {
  RecordShape s;
  s.fields = fakes::ParcelFields();
  s.fields[1] = "0";
  s.fields[7] = std::string(300, 'x');
  Print({MakeRecord(s)});
  const std::vector<Op> space = Texts(" ");
  ASSERT_EQ(space.size(), 1u);
  EXPECT_EQ(space[0].points, 36);
  EXPECT_EQ(Texts(std::string(255, 'x')).size(), 1u);
}

TEST_F(SheetPrinterTest, ZanLayoutBarcodeUsesTheWiderModuleAndTheLabelCounter) {
  RecordShape s;
  s.kind = "{ZAN";
  s.parcels = 2;
  s.fields = {{15, "12345678"}, {18, "01/02/2026"}, {28, "0001"}, {1, "75"}};
  Print({MakeRecord(s)});
  EXPECT_EQ(Texts("1 / 2").at(0).x1, 45 * 3);
  EXPECT_EQ(barcode.barWidth, 16);
  // 16 thousandths at 300 dpi: 5 pixels a module; the start character opens
  // with a bar of two modules at the rectangle's left edge.
  for (const Op& op : Doc().ops)
    if (op.kind == Op::Fill && op.colour == kBlack) {
      EXPECT_EQ(op.x1, 30 * 3);
      EXPECT_EQ(op.x2 - op.x1, 10);
      break;
    }
}

TEST_F(SheetPrinterTest, PickupRequestGoesBeforeLabelOneOnlyWithItsBagList) {
  run.header.BaggageMode = true;
  Print({Baggage(4, 1, {"UM VALISE", "UM SAC", "UM CARTON", "UG VELO", "UM MALLE"})});
  EXPECT_EQ(Frames(kBaggageLabelHeight), (std::vector<Place>{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 2}}));
  const std::vector<Op> title = Texts("  D E M A N D E   D'E N L E V E M E N T  ");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0].background, kBlack);
  EXPECT_EQ(Texts("Nb bagages : 5").size(), 1u);
  EXPECT_EQ(Texts("Dossier N\xB0 D-1").size(), 1u + 5u);  // the request and every label
  // Three bags, 12 units apart, each with its tick box; the UG line ends the list.
  for (int k = 1; k <= 3; ++k) {
    const std::vector<Op> n = Texts(" " + std::to_string(k));
    ASSERT_EQ(n.size(), 1u) << k;
    EXPECT_EQ(n[0].y1, (224 + 12 * (k - 1)) * 3);
    EXPECT_EQ(n[0].x1, 200 * 3);
  }
  EXPECT_TRUE(Texts(" 4").empty());
  // Entry 5 is not in the list; label 5 shows it as its own entry.
  ASSERT_EQ(Texts("MALLE").size(), 1u);
  EXPECT_EQ(Texts("MALLE").at(0).points, 18);
  EXPECT_EQ(sheet.UmEntry(5), "MALLE");
  EXPECT_EQ(sheet.UgEntry(4), "VELO");
  EXPECT_EQ(sheet.UmEntry(4), "");
  // The pickup request's barcode carries baggage line 9 as it stands.
  EXPECT_EQ(sheet.BaggageLine(9), "7001");
}

TEST_F(SheetPrinterTest, PickupRequestInSlotFourPushesLabelOneToANewPage) {
  run.header.BaggageMode = true;
  Print({Baggage(1, 0, {"UM A"})}, 4);
  EXPECT_EQ(Frames(kBaggageLabelHeight), (std::vector<Place>{{1, 4}, {2, 1}}));
}

TEST_F(SheetPrinterTest, BareBaggageRecordHasNoPickupRequestNoBarcodeAndShowsUgEntries) {
  run.header.BaggageMode = true;
  Print({Baggage(2, 0, {"UG POUSSETTE", "UG VELO"}, "   ")});
  EXPECT_TRUE(sheet.bare());
  EXPECT_EQ(Frames(kBaggageLabelHeight), (std::vector<Place>{{1, 1}, {1, 2}}));
  EXPECT_EQ(BlackFills(), 0);
  const std::vector<Op> dossier = Texts("Dossier No D-1");
  ASSERT_EQ(dossier.size(), 2u);
  EXPECT_EQ(std::tie(dossier[0].points, dossier[0].bold, dossier[0].face), std::make_tuple(20, true, "MS Sans Serif"));
  EXPECT_EQ(Texts("POUSSETTE").size(), 1u);
  EXPECT_EQ(Texts("VELO").size(), 1u);
  EXPECT_TRUE(Texts("  D E M A N D E   D'E N L E V E M E N T  ").empty());
}

TEST_F(SheetPrinterTest, BagEntriesStopAtLabelFifteenAndTheRunAtFifteenLines) {
  run.header.BaggageMode = true;
  std::vector<std::string> run;
  for (int k = 1; k <= 16; ++k) run.push_back("UM B" + std::to_string(k));
  Print({Baggage(17, 0, run)});
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(sheet.UmEntry(k), "B" + std::to_string(k));
  // Label k shows entry k up to 15; the 16th UM line was read as a field line.
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(Texts("B" + std::to_string(k)).size(), 2u) << k;  // list + label
  EXPECT_TRUE(Texts("B16").empty());
}

TEST_F(SheetPrinterTest, RecordsLastLineIsNeverABagLine) {
  run.header.BaggageMode = true;
  RecordLines r = Baggage(1, 0, {"UM ONE"});
  r.resize(15);  // line 14 is the run's only line and the last one
  Print({r});
  EXPECT_EQ(sheet.UmEntry(1), "");
  EXPECT_FALSE(sheet.bare());  // baggage line 9 holds the dossier barcode
}

TEST_F(SheetPrinterTest, ChooserStartsAtSlotOneAndAbandonsOnCancel) {
  f.chooser.answers = {4, std::nullopt, 7};
  EXPECT_EQ(chooser.Show(), ChooserResult::Ok);
  EXPECT_EQ(chooser.selected(), 4);
  EXPECT_EQ(chooser.Show(), ChooserResult::Cancel);
  EXPECT_EQ(chooser.Show(), ChooserResult::Cancel);
  EXPECT_EQ(f.chooser.selectedAtShow, (std::vector<int>{1, 1, 1}));
  const ChooserTexts& t = f.chooser.shown.at(0);
  EXPECT_EQ(t.caption, "Positionnement 1\xE8re \xE9tiquette");
  EXPECT_EQ(t.printButton, "&Imprimer");
  EXPECT_EQ(t.abandonButton, "&Abandonner");
  EXPECT_EQ(t.advice, "Veuillez indiquer la position de la premi\xE8re \xE9tiquette \xE0 imprimer :");
  EXPECT_EQ(t.top, "HAUT");
  EXPECT_EQ(t.bottom, "BAS");
  // A caption base whose bank has no such text falls back to the base text.
  PositionChooser other(f.platform, 1000);
  EXPECT_EQ(other.LoadFormCaption(kChooserTopId), "HAUT");
}

TEST(ChooserPicture, ClicksOnTheMiddleLinesGoRightAndDown) {
  EXPECT_EQ(SlotAtPoint(0, 0), 1);
  EXPECT_EQ(SlotAtPoint(99, 99), 1);
  EXPECT_EQ(SlotAtPoint(100, 0), 2);
  EXPECT_EQ(SlotAtPoint(0, 100), 3);
  EXPECT_EQ(SlotAtPoint(100, 100), 4);
  EXPECT_EQ(SlotAtPoint(200, 200), 4);
}

TEST(ChooserPicture, HighlightIsBlueBoldInADottedFrameAndPlainErasesIt) {
  fakes::FakeDocuments docs;
  auto doc = docs.StartDocument("", "");
  DrawChooserPicture(doc->page(), 1);
  DrawSlotMark(doc->page(), 1, false);  // a click elsewhere: slot 1 back to plain
  DrawSlotMark(doc->page(), 4, true);
  const std::vector<Op>& ops = docs.documents[0].ops;
  std::vector<Op> numbers, frames, erases;
  for (const Op& op : ops) {
    if (op.kind == Op::Text) numbers.push_back(op);
    if (op.kind == Op::Rectangle && op.colour == kBlue) frames.push_back(op);
    if (op.kind == Op::Fill) erases.push_back(op);
  }
  ASSERT_EQ(numbers.size(), 6u);
  // The first showing: 1 highlighted, then 2, 3, 4 plain at their anchors.
  EXPECT_EQ(std::tie(numbers[0].text, numbers[0].x1, numbers[0].y1, numbers[0].bold),
            std::make_tuple("1", 40, 30, true));
  EXPECT_EQ(numbers[0].colour, kBlue);
  EXPECT_EQ(std::tie(numbers[3].text, numbers[3].x1, numbers[3].y1, numbers[3].bold),
            std::make_tuple("4", 140, 130, false));
  EXPECT_EQ(numbers[3].colour, kBlack);
  EXPECT_EQ(numbers[0].points, 20);
  EXPECT_EQ(numbers[0].face, "MS Sans Serif");
  // Slot 1 made plain again: its frame's area filled white, a black number.
  EXPECT_EQ(std::tie(numbers[4].text, numbers[4].bold), std::make_tuple("1", false));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].penStyle, PenStyle::Dotted);
  EXPECT_EQ(std::tie(frames[0].x1, frames[0].y1, frames[0].x2, frames[0].y2), std::make_tuple(30, 25, 65, 65));
  EXPECT_EQ(std::tie(frames[1].x1, frames[1].y1, frames[1].x2, frames[1].y2), std::make_tuple(130, 125, 165, 165));
  EXPECT_TRUE(std::any_of(erases.begin(), erases.end(), [](const Op& e) {
    return e.x1 == 30 && e.y1 == 25 && e.x2 == 65 && e.y2 == 65 && e.colour == kWhite;
  }));
}

}  // namespace
}  // namespace imptherm
