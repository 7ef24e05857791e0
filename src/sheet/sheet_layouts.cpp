#include "sheet/sheet_layouts.h"

namespace imptherm {
namespace {

using Ink = SheetInk;
using W = SheetWords;
using When = SheetWhen;

constexpr SheetFont kPlain{};
constexpr SheetFont kBold{.bold = true};
constexpr SheetFont kInverse{.bold = true, .inverse = true};
constexpr SheetFont kSerif{.face = SheetFace::Serif};
constexpr SheetFont kKeptBold{.face = SheetFace::Kept, .bold = true};

// The words of a text row.
struct Say {
  W words;
  int arg = 0;
  const char* text = "";
};
constexpr Say F(int n) { return {W::Field, n}; }
constexpr Say Cap(int k) { return {W::Caption, k}; }
constexpr Say Lit(const char* text) { return {W::Literal, 0, text}; }
constexpr Say LitF(const char* text, int n) { return {W::LiteralField, n, text}; }
constexpr Say Bag(int n) { return {W::BagLine, n}; }

constexpr SheetRow Text(int x, int y, int right, Say say, int size, SheetFont font = kPlain) {
  return {Ink::Text, x, y, right, 0, size, say.words, say.arg, say.text, font};
}
constexpr SheetRow Line(int x1, int y1, int x2, int y2, int width) { return {Ink::Line, x1, y1, x2, y2, width}; }
constexpr SheetRow ScaledLine(int x1, int y1, int x2, int y2, int width) {
  return {Ink::ScaledLine, x1, y1, x2, y2, width};
}
constexpr SheetRow Box(int x1, int y1, int x2, int y2) { return {Ink::Box, x1, y1, x2, y2, 0}; }
constexpr SheetRow Fill(int x1, int y1, int x2, int y2) { return {Ink::Fill, x1, y1, x2, y2, 0}; }
constexpr SheetRow Code(Say data, int module, int x1, int y1, int x2, int y2) {
  return {Ink::Code, x1, y1, x2, y2, module, data.words, data.arg};
}

constexpr SheetRow kBand1[] = {Fill(0, 0, 197, 109), Text(6, 29, 0, F(3), 18, kInverse)};
constexpr SheetRow kBand2[] = {Fill(197, 0, 384, 109), Text(202, 29, 0, F(3), 18, kInverse)};
// A checkerboard of 35-unit squares.
constexpr SheetRow kBand4[] = {Fill(10, 3, 45, 38),   Fill(10, 73, 45, 108),  Fill(45, 38, 80, 73),
                               Fill(80, 3, 115, 38),  Fill(80, 73, 115, 108), Fill(115, 38, 150, 73),
                               Fill(150, 3, 185, 38), Fill(150, 73, 185, 108)};
constexpr SheetRow kBand5[] = {Fill(0, 0, 197, 35), Fill(0, 74, 197, 109)};

constexpr SheetRow kZan[] = {
    Text(5, 5, 0, F(0), 24, kBold),
    Text(70, 0, 0, F(1), 42, kBold),
    Text(5, 48, 0, F(26), 14, kBold),
    Line(0, 75, 384, 75, 3),
    Text(4, 72, 0, F(23), 24, kBold),
    Text(202, 5, 0, F(2), 24, kBold),
    Text(260, 0, 0, F(24), 42, kBold),
    Text(245, 72, 0, F(3), 24, kBold),
    Line(0, 109, 384, 109, 1),
    Line(197, 109, 197, 143, 1),
    Line(0, 143, 384, 143, 1),
    Text(4, 111, 185, F(5), 12),
    Text(5, 129, 0, F(7), 8),
    Text(55, 129, 0, {W::CaptionedField, 6}, 8).If(When::FieldSet),
    Text(199, 111, 378, F(8), 12),
    Text(199, 129, 378, F(9), 8),
    Line(5, 280, 380, 280, 1),
    Line(165, 280, 165, 435, 1),
    Text(5, 335, 0, Cap(12), 6),
    Text(5, 355, 0, Cap(13), 6),
    Text(5, 375, 0, Cap(14), 6),
    Text(5, 395, 0, Cap(15), 6),
    Text(5, 415, 0, Cap(16), 6),
    Text(5, 290, 0, F(15), 24, kBold),
    Text(35, 333, 0, F(18), 8),
    Text(45, 348, 0, {W::FieldOfTotal, 17}, 12, kBold),
    Text(80, 348, 0, F(16), 12, kBold),
    Text(35, 373, 162, F(25), 8),
    Text(35, 393, 162, F(19), 8),
    Text(35, 413, 162, F(20), 8),
    Text(168, 313, 378, F(10), 10, kBold),
    Text(168, 335, 378, F(11), 10),
    Text(168, 350, 378, F(12), 10),
    Text(168, 370, 340, F(13), 10),
    Text(168, 390, 378, F(14), 16, kBold),
    Text(310, 425, 0, F(4), 6, kSerif),
    Code({W::FieldCode, 21}, 16, 30, 144, 65, 270).If(When::Coded),
    Text(50, 260, 0, F(21), 8).If(When::Coded),
    Text(10, 200, 0, LitF("Dossier No ", 19), 20, kKeptBold).If(When::Bare),
    Text(285, 200, 378, F(29), 16, kBold),
};

constexpr SheetRow kStandardTop[] = {
    Line(0, 109, 384, 109, 1),   Line(197, 109, 197, 143, 1), Line(0, 143, 384, 143, 1),   Line(0, 279, 384, 279, 1),
    Line(165, 279, 165, 435, 1), Line(165, 309, 384, 309, 1), Text(4, 284, 0, Cap(2), 6),  Text(4, 300, 0, Cap(3), 6),
    Text(4, 315, 0, Cap(4), 6),  Text(4, 330, 0, Cap(5), 6),  Text(4, 345, 0, Cap(6), 6),  Text(4, 360, 0, Cap(7), 6),
    Text(4, 375, 0, Cap(8), 6),  Text(4, 390, 0, Cap(9), 6),  Text(4, 405, 0, Cap(10), 6),
};

constexpr SheetRow kHeaderLeft[] = {
    Text(28, 42, 0, {W::FieldOrBlank, 1}, 36, kBold),
    Text(63, 1, 0, F(2), 72, kBold),
    Text(5, 5, 0, F(0), 24, kBold),
    ScaledLine(18, 97, 183, 98, 8),
};
constexpr SheetRow kHeaderRight[] = {
    Text(225, 42, 0, {W::FieldOrBlank, 1}, 36, kBold),
    Text(260, 1, 0, F(2), 72, kBold),
    Text(202, 5, 0, F(0), 24, kBold),
    ScaledLine(215, 97, 375, 98, 8),
};

constexpr SheetRow kStandardBody[] = {
    Text(4, 111, 185, F(6), 10),
    Text(4, 125, 0, F(7), 12, kBold),
    Text(49, 129, 0, {W::CaptionedField, 8}, 8).If(When::FieldSet),
    Text(348, 100, 380, F(35), 14, kBold),
    Text(199, 120, 380, F(9), 8),
    Text(199, 131, 380, F(10), 8),
    Code({W::FieldCode, 32}, 14, 30, 144, 65, 270).If(When::Coded),
    Text(85, 265, 0, F(33), 8).If(When::Coded),
    Text(10, 200, 0, LitF("Dossier No ", 18), 20, kKeptBold).If(When::Bare),
    Text(80, 280, 0, F(11), 12, kBold),
    Text(90, 295, 0, {W::FieldOfTotal, 30}, 12, kBold),
    Text(80, 314, 0, F(13), 10),
    Text(80, 329, 0, F(14), 8),
    Text(80, 344, 0, F(15), 8),
    Text(80, 359, 0, F(16), 8),
    Text(80, 374, 0, F(17), 8),
    Text(58, 389, 155, F(18), 8, kBold),
    Text(58, 404, 155, F(31), 8, kBold),
    Text(168, 310, 0, F(28), 6),
    Text(168, 320, 380, F(23), 10),
    Text(168, 335, 380, F(24), 10),
    Text(168, 350, 380, F(25), 10),
    Text(168, 370, 340, F(26), 10),
    Text(345, 370, 385, F(27), 10),
    Text(168, 390, 385, F(29), 10),
    Text(168, 422, 0, F(36), 8, kBold),
    Text(168, 280, 380, F(19), 10),
    Text(310, 425, 0, F(5), 6, kSerif).If(When::Sheet),
    Text(300, 420, 0, F(5), 6, kSerif).If(When::Baggage),
    Text(20, 485, 0, LitF("Dossier N\xB0 ", 18), 10).If(When::Baggage),
    Text(20, 505, 0, Lit("Livraison :"), 10).If(When::Baggage),
    Text(85, 505, 0, F(15), 10).If(When::Baggage),
    Text(85, 520, 0, Bag(8), 10).If(When::Baggage),
    Text(50, 525, 0, {W::LabelEntry}, 18, kBold).If(When::LabelEntry),
};

constexpr SheetRow kPickupHead[] = {
    Text(6, 10, 0, LitF("Dossier N\xB0 ", 18), 10),
    Text(6, 25, 0, Lit("Date enl\xE8vement :"), 10),
    Text(6, 40, 0, {W::PickupDate}, 10),
    Text(0, 78, 0, Lit("  D E M A N D E   D'E N L E V E M E N T  "), 14, kInverse),
    Code(Bag(9), 16, 40, 100, 100, 190),
    Text(100, 185, 0, Bag(9), 8),
    Box(10, 200, 364, 440),
    Box(190, 200, 191, 440),
    Text(20, 210, 0, F(9), 8),
    Text(20, 230, 0, Bag(10), 8),
    Text(20, 250, 0, Bag(11), 8),
    Text(20, 270, 0, F(10), 8),
    Text(20, 290, 0, Bag(12), 8),
    Text(20, 310, 0, Bag(13), 8),
    Text(210, 205, 0, {W::BagCount}, 8),
};
constexpr SheetRow kPickupEntry[] = {
    Text(200, 224, 0, {W::EntryNumber}, 8),
    Box(215, 225, 225, 235),
    Text(230, 223, 0, {W::PickupEntry}, 8),
};
constexpr SheetRow kPickupFoot[] = {
    Text(40, 495, 0, Lit("Date :"), 8),
    Text(40, 525, 0, Lit("Heure :"), 8),
    Text(215, 480, 0, Lit("EMARGEMENT CLIENT"), 8, kBold),
    Box(200, 495, 370, 550),
};

constexpr SheetRow kCopyStrokes[] = {ScaledLine(5, 400, 384, 300, 2), ScaledLine(5, 200, 384, 100, 2)};

}  // namespace

SheetLayout SheetBand(int style) {
  switch (style) {
    case 1: return kBand1;
    case 2: return kBand2;
    case 4: return kBand4;
    case 5: return kBand5;
    default: return {};
  }
}

SheetLayout ZanSheetLayout() { return kZan; }
SheetLayout StandardSheetTop() { return kStandardTop; }
SheetLayout StandardSheetHeader(bool right) { return right ? SheetLayout(kHeaderRight) : SheetLayout(kHeaderLeft); }
SheetLayout StandardSheetBody() { return kStandardBody; }
SheetLayout PickupHead() { return kPickupHead; }
SheetLayout PickupEntryRows() { return kPickupEntry; }
SheetLayout PickupFoot() { return kPickupFoot; }
SheetLayout CopyStrokes() { return kCopyStrokes; }

}  // namespace imptherm
