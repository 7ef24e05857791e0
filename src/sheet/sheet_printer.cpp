#include "sheet/sheet_printer.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "base/text.h"
#include "common/captions.h"
#include "platform/error.h"

namespace imptherm {
namespace {

constexpr char kJobTitle[] = "ImpThermOrvane";
constexpr char kPickupTitle[] = "  D E M A N D E   D'E N L E V E M E N T  ";
constexpr int kSansFace = 1;
constexpr int kSerifFace = 2;
constexpr std::size_t kBagShortLength = 10;
constexpr std::size_t kBagLongLength = 35;

std::string Head(const std::string& s, std::size_t n) { return s.substr(0, std::min(n, s.size())); }

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Counts come from the label data file: added in 64 bits, they cannot overflow.
long long LabelTotal(const LabelRecord& label) { return static_cast<long long>(label.ParcelCount) + label.PalletCount; }

std::string Caption(SheetContext& c, int k) { return LoadCaption(c.platform.resources, c.run->header.CaptionBase, k); }

}  // namespace

SlotOrigin SlotOriginFor(int slot, bool baggageMode) {
  const int top = baggageMode ? 0 : 25;
  switch (slot) {
    case 2: return {394, top};
    case 3: return {0, 570};
    case 4: return {394, 570};
    default: return {0, top};
  }
}

int StyleForKind(const std::string& recordKind) {
  static const char* const kKinds[] = {"{KAV", "{HOB", "{DUN", "{J41", "{K63", "{ZAN"};
  for (int i = 0; i < 6; ++i)
    if (recordKind == kKinds[i]) return i + 1;
  return 0;
}

// The grouping keeps every line this reads by its place.
static_assert(kPlacedRecordLines >= 14 + kBagEntries + 1);

void SheetPrinter::ReadBaggageLines(const RecordLines& record) {
  bag_.fill("");
  um_.fill("");
  ug_.fill("");
  auto line = [&](std::size_t n) -> std::string { return n < record.size() ? record[n] : std::string(); };
  for (int n = 6; n <= 13; ++n) bag_[n] = Head(line(n), n <= 8 ? kBagShortLength : kBagLongLength);
  // The run of UM and UG lines; the record's last line never belongs to it.
  std::size_t k = 0;
  while (k < kBagEntries && 14 + k + 1 < record.size()) {
    const std::string& l = record[14 + k];
    const bool isUm = StartsWith(l, "UM");
    if (!isUm && !StartsWith(l, "UG")) break;
    (isUm ? um_ : ug_)[k + 1] = Head(l.size() > 3 ? l.substr(3) : std::string(), kBagLongLength);
    ++k;
  }
  firstFieldLine_ = 14 + k;
  bare_ = TrimBlanks(bag_[9]).empty() && TrimBlanks(um_[1]).empty();
}

void SheetPrinter::StartDocument(const std::string& printerName) {
  PrinterObject& printer = c_.printer;
  std::string target;
  try {
    printer.SelectDefault();
    const std::string wanted = UpperAscii(printerName);
    if (!wanted.empty()) {
      for (const std::string& name : printer.InstalledPrinters()) {
        if (UpperAscii(name).find(wanted) == std::string::npos) continue;
        printer.SelectPrinter(name);
        c_.runLog.Write("Printer OK: " + name);
      }
    }
    target = printer.Current();
  } catch (const PlatformError& e) {
    // A print server that cannot be asked is said in the run log; the
    // document decides whether it needs one (sheets drawn into a PDF file
    // do not, a printer's document says why it cannot start).
    c_.runLog.Write(std::string("Printer error: ") + e.what());
  }
  document_.reset();
  documentLabels_ = 0;
  document_ = c_.platform.documents.StartDocument(target, kJobTitle);
}

int SheetPrinter::EndDocument() {
  if (!document_) return 0;
  std::unique_ptr<DrawnDocument> doc = std::move(document_);
  doc->End();
  return documentLabels_;
}

void SheetPrinter::AdvanceSlot() {
  int& pos = position_;
  if (pos <= 0) {
    const int chosen = c_.chooser.selected();
    pos = chosen >= 1 && chosen <= 4 ? chosen : 1;
  } else if (pos >= 4) {
    pos = 1;
    document_->NewPage();
  } else {
    ++pos;
  }
}

void SheetPrinter::PrintSheetRecord(const RunOptions& run, const RecordLines& record, bool isFirstRecord) {
  c_.run = &run;
  // The chooser's slot is where a run begins.
  if (isFirstRecord) position_ = 0;
  LabelRecord& label = c_.label;
  const bool baggage = run.header.BaggageMode;
  // A record too short for a header has no labels; the previous record's
  // counts must not print again under its name.
  if (record.size() >= 6) {
    ReadRecordHeader(record, label);
  } else {
    label = LabelRecord{};
    if (!record.empty()) label.RecordKind = Head(record[0], 10);
  }
  if (baggage) {
    ReadBaggageLines(record);
  } else {
    firstFieldLine_ = 6;
    bare_ = false;
  }
  c_.runLog.Write("fondPage=[" + label.RecordKind + "]");

  if (isFirstRecord || !document_) StartDocument(run.prnName);

  // A label index is an int; no record can hold more labels than that.
  const long long total = record.size() >= 6 ? std::min<long long>(LabelTotal(label), INT_MAX) : 0;
  const int parcels = label.ParcelCount;
  for (long long next = 1; next <= total;) {
    const int i = static_cast<int>(next);
    // Between two labels, so that no label is left half drawn.
    if (c_.platform.ui.StopRequested()) throw RunAbandoned(kStopAsked);
    AdvanceSlot();
    LoadLabelFields(record, label, firstFieldLine_);
    if (baggage) {
      if (label.Fields[1].empty()) label.Fields[1].assign(1, '0');
      if (i == 1 && !bare_) {
        DrawPickupRequest(document_->page());
        AdvanceSlot();
      }
    }
    DrawSheetLabel(i, document_->page());
    const int copies = (i <= parcels ? run.nbEtiquColis : run.nbEtiquPalettes) - 1;
    documentLabels_ += 1 + (copies > 0 ? copies : 0);
    for (int n = 0; n < copies; ++n) {
      AdvanceSlot();
      Canvas& canvas = document_->page();
      DrawSheetLabel(i, canvas);
      DrawLine(canvas, 5, 400, 384, 300, 2, c_.chooser.ScaleY());
      DrawLine(canvas, 5, 200, 384, 100, 2, c_.chooser.ScaleY());
    }
    if (label.PresetLabel) break;
    ++next;
  }
  if (run.header.HeaderFlag) position_ = 4;
}

void SheetPrinter::DrawSheetLabel(int labelIndex, Canvas& canvas) {
  const bool baggage = c_.run->header.BaggageMode;
  origin_ = SlotOriginFor(position_, baggage);
  const int h = baggage ? kBaggageLabelHeight : kLabelHeight;
  DrawFrame(canvas, 0, 0, kLabelWidth, h);
  DrawBox(canvas, 0, 0, kLabelWidth, h, false);

  LabelRecord& label = c_.label;
  const int style = StyleForKind(label.RecordKind);
  switch (style) {
    case 1:
      DrawBox(canvas, 0, 0, 197, 109, true);
      DrawText(canvas, 6, 29, 0, label.Fields[3], kSansFace, 18, true, true);
      break;
    case 2:
      DrawBox(canvas, 197, 0, 384, 109, true);
      DrawText(canvas, 202, 29, 0, label.Fields[3], kSansFace, 18, true, true);
      break;
    case 4: {
      static const int kSquares[8][2] = {{0, 0}, {0, 70}, {35, 35}, {70, 0}, {70, 70}, {105, 35}, {140, 0}, {140, 70}};
      for (const auto& sq : kSquares) DrawBox(canvas, 10 + sq[0], 3 + sq[1], 10 + sq[0] + 35, 3 + sq[1] + 35, true);
      break;
    }
    case 5:
      DrawBox(canvas, 0, 0, 197, 35, true);
      DrawBox(canvas, 0, 74, 197, 109, true);
      break;
    default: break;
  }

  DeriveLabelFields(label, labelIndex, baggage ? std::string() : c_.run->header.HeaderText, baggage);
  const std::string total = std::to_string(LabelTotal(label));
  if (style == 6) {
    DrawZanLayout(canvas, total);
  } else {
    DrawStandardLayout(canvas, style, labelIndex, total);
  }
}

void SheetPrinter::DrawZanLayout(Canvas& cv, const std::string& total) {
  const auto& f = c_.label.Fields;
  DrawText(cv, 5, 5, 0, f[0], kSansFace, 24, false, true);
  DrawText(cv, 70, 0, 0, f[1], kSansFace, 42, false, true);
  DrawText(cv, 5, 48, 0, f[26], kSansFace, 14, false, true);
  DrawLine(cv, 0, 75, 384, 75, 3, 1);
  DrawText(cv, 4, 72, 0, f[23], kSansFace, 24, false, true);
  DrawText(cv, 202, 5, 0, f[2], kSansFace, 24, false, true);
  DrawText(cv, 260, 0, 0, f[24], kSansFace, 42, false, true);
  DrawText(cv, 245, 72, 0, f[3], kSansFace, 24, false, true);
  DrawLine(cv, 0, 109, 384, 109, 1, 1);
  DrawLine(cv, 197, 109, 197, 143, 1, 1);
  DrawLine(cv, 0, 143, 384, 143, 1, 1);
  DrawText(cv, 4, 111, 185, f[5], kSansFace, 12, false, false);
  DrawText(cv, 5, 129, 0, f[7], kSansFace, 8, false, false);
  if (!f[6].empty()) DrawText(cv, 55, 129, 0, Caption(c_, 17) + " " + f[6], kSansFace, 8, false, false);
  DrawText(cv, 199, 111, 378, f[8], kSansFace, 12, false, false);
  DrawText(cv, 199, 129, 378, f[9], kSansFace, 8, false, false);
  DrawLine(cv, 5, 280, 380, 280, 1, 1);
  DrawLine(cv, 165, 280, 165, 435, 1, 1);
  for (int k = 12; k <= 16; ++k) DrawText(cv, 5, 335 + 20 * (k - 12), 0, Caption(c_, k), kSansFace, 6, false, false);
  DrawText(cv, 5, 290, 0, f[15], kSansFace, 24, false, true);
  DrawText(cv, 35, 333, 0, f[18], kSansFace, 8, false, false);
  DrawText(cv, 45, 348, 0, f[17] + " / " + total, kSansFace, 12, false, true);
  DrawText(cv, 80, 348, 0, f[16], kSansFace, 12, false, true);
  DrawText(cv, 35, 373, 162, f[25], kSansFace, 8, false, false);
  DrawText(cv, 35, 393, 162, f[19], kSansFace, 8, false, false);
  DrawText(cv, 35, 413, 162, f[20], kSansFace, 8, false, false);
  DrawText(cv, 168, 313, 378, f[10], kSansFace, 10, false, true);
  DrawText(cv, 168, 335, 378, f[11], kSansFace, 10, false, false);
  DrawText(cv, 168, 350, 378, f[12], kSansFace, 10, false, false);
  DrawText(cv, 168, 370, 340, f[13], kSansFace, 10, false, false);
  DrawText(cv, 168, 390, 378, f[14], kSansFace, 16, false, true);
  DrawText(cv, 310, 425, 0, f[4], kSerifFace, 6, false, false);
  if (!bare_) {
    PaintCode(cv, BuildCode128Content(f[21]), 16, 30, 144, 65, 270);
    DrawText(cv, 50, 260, 0, f[21], kSansFace, 8, false, false);
  } else {
    DrawText(cv, 10, 200, 0, "Dossier No " + f[19], 0, 20, false, true);
  }
  DrawText(cv, 285, 200, 378, f[29], kSansFace, 16, false, true);
}

void SheetPrinter::DrawStandardLayout(Canvas& cv, int style, int labelIndex, const std::string& total) {
  const auto& f = c_.label.Fields;
  const bool baggage = c_.run->header.BaggageMode;
  DrawLine(cv, 0, 109, 384, 109, 1, 1);
  DrawLine(cv, 197, 109, 197, 143, 1, 1);
  DrawLine(cv, 0, 143, 384, 143, 1, 1);
  DrawLine(cv, 0, 279, 384, 279, 1, 1);
  DrawLine(cv, 165, 279, 165, 435, 1, 1);
  DrawLine(cv, 165, 309, 384, 309, 1, 1);
  static const int kCaptionY[] = {284, 300, 315, 330, 345, 360, 375, 390, 405};
  for (int k = 2; k <= 10; ++k) DrawText(cv, 4, kCaptionY[k - 2], 0, Caption(c_, k), kSansFace, 6, false, false);

  if (style != 0 && style != 6) {
    const bool right = style == 1 || style == 4 || style == 5;
    const int dx = right ? 197 : 0;
    DrawText(cv, 28 + dx, 42, 0, f[1] == "0" ? " " : f[1], kSansFace, 36, false, true);
    DrawText(cv, 63 + dx, 1, 0, f[2], kSansFace, 72, false, true);
    DrawText(cv, 5 + dx, 5, 0, f[0], kSansFace, 24, false, true);
    if (right) {
      DrawLine(cv, 215, 97, 375, 98, 8, c_.chooser.ScaleY());
    } else {
      DrawLine(cv, 18, 97, 183, 98, 8, c_.chooser.ScaleY());
    }
  }

  DrawText(cv, 4, 111, 185, f[6], kSansFace, 10, false, false);
  DrawText(cv, 4, 125, 0, f[7], kSansFace, 12, false, true);
  if (!f[8].empty()) DrawText(cv, 49, 129, 0, Caption(c_, 17) + " " + f[8], kSansFace, 8, false, false);
  DrawText(cv, 348, 100, 380, f[35], kSansFace, 14, false, true);
  DrawText(cv, 199, 120, 380, f[9], kSansFace, 8, false, false);
  DrawText(cv, 199, 131, 380, f[10], kSansFace, 8, false, false);
  if (!bare_) {
    PaintCode(cv, BuildCode128Content(f[32]), 14, 30, 144, 65, 270);
    DrawText(cv, 85, 265, 0, f[33], kSansFace, 8, false, false);
  } else {
    DrawText(cv, 10, 200, 0, "Dossier No " + f[18], 0, 20, false, true);
  }
  DrawText(cv, 80, 280, 0, f[11], kSansFace, 12, false, true);
  DrawText(cv, 90, 295, 0, f[30] + " / " + total, kSansFace, 12, false, true);
  DrawText(cv, 80, 314, 0, f[13], kSansFace, 10, false, false);
  for (int k = 0; k < 4; ++k) DrawText(cv, 80, 329 + 15 * k, 0, f[14 + k], kSansFace, 8, false, false);
  DrawText(cv, 58, 389, 155, f[18], kSansFace, 8, false, true);
  DrawText(cv, 58, 404, 155, f[31], kSansFace, 8, false, true);
  DrawText(cv, 168, 310, 0, f[28], kSansFace, 6, false, false);
  for (int k = 0; k < 3; ++k) DrawText(cv, 168, 320 + 15 * k, 380, f[23 + k], kSansFace, 10, false, false);
  DrawText(cv, 168, 370, 340, f[26], kSansFace, 10, false, false);
  DrawText(cv, 345, 370, 385, f[27], kSansFace, 10, false, false);
  DrawText(cv, 168, 390, 385, f[29], kSansFace, 10, false, false);
  DrawText(cv, 168, 422, 0, f[36], kSansFace, 8, false, true);
  DrawText(cv, 168, 280, 380, f[19], kSansFace, 10, false, false);
  if (!baggage) {
    DrawText(cv, 310, 425, 0, f[5], kSerifFace, 6, false, false);
    return;
  }
  DrawText(cv, 300, 420, 0, f[5], kSerifFace, 6, false, false);
  DrawText(cv, 20, 485, 0, "Dossier N\xB0 " + f[18], kSansFace, 10, false, false);
  DrawText(cv, 20, 505, 0, "Livraison :", kSansFace, 10, false, false);
  DrawText(cv, 85, 505, 0, f[15], kSansFace, 10, false, false);
  DrawText(cv, 85, 520, 0, bag_[8], kSansFace, 10, false, false);
  if (labelIndex >= 1 && labelIndex <= kBagEntries)
    DrawText(cv, 50, 525, 0, (bare_ ? ug_ : um_)[labelIndex], kSansFace, 18, false, true);
}

void SheetPrinter::DrawPickupRequest(Canvas& cv) {
  origin_ = SlotOriginFor(position_, c_.run->header.BaggageMode);
  const auto& f = c_.label.Fields;
  DrawFrame(cv, 0, 0, kLabelWidth, kBaggageLabelHeight);
  DrawBox(cv, 0, 0, kLabelWidth, kBaggageLabelHeight, false);
  DrawText(cv, 6, 10, 0, "Dossier N\xB0 " + f[18], kSansFace, 10, false, false);
  DrawText(cv, 6, 25, 0, "Date enl\xE8vement :", kSansFace, 10, false, false);
  DrawText(cv, 6, 40, 0, Head(bag_[6] + " " + bag_[7], 21), kSansFace, 10, false, false);
  DrawText(cv, 0, 78, 0, kPickupTitle, kSansFace, 14, true, true);
  PaintCode(cv, bag_[9], 16, 40, 100, 100, 190);
  DrawText(cv, 100, 185, 0, bag_[9], kSansFace, 8, false, false);
  DrawBox(cv, 10, 200, 364, 440, false);
  DrawBox(cv, 190, 200, 191, 440, false);
  const std::string lines[] = {f[9], bag_[10], bag_[11], f[10], bag_[12], bag_[13]};
  for (int k = 0; k < 6; ++k) DrawText(cv, 20, 210 + 20 * k, 0, lines[k], kSansFace, 8, false, false);
  DrawText(cv, 210, 205, 0, "Nb bagages : " + std::to_string(LabelTotal(c_.label)), kSansFace, 8, false, false);
  for (int k = 1; k <= kBagEntries && !um_[k].empty(); ++k) {
    const int yk = 12 * (k - 1);
    char number[16];
    std::snprintf(number, sizeof number, "%2d", k);
    DrawText(cv, 200, 224 + yk, 0, number, kSansFace, 8, false, false);
    DrawBox(cv, 215, 225 + yk, 225, 235 + yk, false);
    DrawText(cv, 230, 223 + yk, 0, um_[k], kSansFace, 8, false, false);
  }
  DrawText(cv, 40, 495, 0, "Date :", kSansFace, 8, false, false);
  DrawText(cv, 40, 525, 0, "Heure :", kSansFace, 8, false, false);
  DrawText(cv, 215, 480, 0, "EMARGEMENT CLIENT", kSansFace, 8, false, true);
  DrawBox(cv, 200, 495, 370, 550, false);
}

void SheetPrinter::PaintCode(Canvas& cv, const std::string& content, double module, int x1, int y1, int x2, int y2) {
  BarcodeSettings& b = c_.barcode;
  b.startSubset = Code128Subset::C;
  b.extendedSyntax = true;
  b.barWidth = module;
  b.code = content;
  b.showCode = false;
  const int sx = c_.chooser.ScaleX(), sy = c_.chooser.ScaleY();
  PaintBarcode(cv, b, (origin_.x + x1) * sx, (origin_.y + y1) * sy, (origin_.x + x2) * sx, (origin_.y + y2) * sy);
}

void SheetPrinter::DrawLine(Canvas& cv, int x1, int y1, int x2, int y2, int thickness, int multiplier) {
  const int sx = c_.chooser.ScaleX(), sy = c_.chooser.ScaleY();
  cv.SetPenWidth(thickness * multiplier);
  cv.DrawLine((origin_.x + x1) * sx, (origin_.y + y1) * sy, (origin_.x + x2) * sx, (origin_.y + y2) * sy);
}

void SheetPrinter::DrawFrame(Canvas& cv, int x1, int y1, int x2, int y2) {
  const int sx = c_.chooser.ScaleX(), sy = c_.chooser.ScaleY();
  cv.SetPen(1, kBlack, PenStyle::Solid);
  cv.SetBrush(kWhite);
  cv.DrawRectangle((origin_.x + x1) * sx, (origin_.y + y1) * sy, (origin_.x + x2) * sx, (origin_.y + y2) * sy);
}

void SheetPrinter::DrawBox(Canvas& cv, int x1, int y1, int x2, int y2, bool filled) {
  const int sx = c_.chooser.ScaleX(), sy = c_.chooser.ScaleY();
  cv.SetPen(1, kBlack, PenStyle::Solid);
  cv.SetBrush(filled ? std::optional<Colour>(kBlack) : std::nullopt);
  cv.DrawRectangle((origin_.x + x1) * sx, (origin_.y + y1) * sy, (origin_.x + x2) * sx, (origin_.y + y2) * sy);
}

void SheetPrinter::DrawText(Canvas& cv, int x, int y, int right, const std::string& text, int face, int size,
                            bool inverse, bool bold) {
  if (face == kSansFace) face_ = "MS Sans Serif";
  if (face == kSerifFace) face_ = "MS Serif";
  const int sx = c_.chooser.ScaleX(), sy = c_.chooser.ScaleY();
  cv.SetFont(face_, size, bold, inverse ? kWhite : kBlack);
  const std::optional<int> clip = right != 0 ? std::optional<int>((origin_.x + right) * sx) : std::nullopt;
  cv.DrawText((origin_.x + x) * sx, (origin_.y + y) * sy, Head(text, kMaxDrawnText), clip,
              inverse ? std::optional<Colour>(kBlack) : std::nullopt);
}

}  // namespace imptherm
