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
constexpr std::size_t kBagShortLength = 10;
constexpr std::size_t kBagLongLength = 35;

std::string Head(const std::string& s, std::size_t n) { return s.substr(0, std::min(n, s.size())); }

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Counts come from the label data file: added in 64 bits, they cannot overflow.
long long LabelTotal(const LabelRecord& label) { return static_cast<long long>(label.ParcelCount) + label.PalletCount; }

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
  run_ = &run;
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
      DrawRows(canvas, CopyStrokes(), RowContext{});
    }
    if (label.PresetLabel) break;
    ++next;
  }
  if (run.header.HeaderFlag) position_ = 4;
}

void SheetPrinter::DrawSheetLabel(int labelIndex, Canvas& canvas) {
  const bool baggage = run_->header.BaggageMode;
  origin_ = SlotOriginFor(position_, baggage);
  DrawOutline(canvas, baggage ? kBaggageLabelHeight : kLabelHeight);

  LabelRecord& label = c_.label;
  const int style = StyleForKind(label.RecordKind);
  RowContext at{.total = std::to_string(LabelTotal(label)), .entry = labelIndex, .baggage = baggage};
  DrawRows(canvas, SheetBand(style), at);

  DeriveLabelFields(label, labelIndex, baggage ? std::string() : run_->header.HeaderText, baggage);
  if (style == 6) {
    DrawRows(canvas, ZanSheetLayout(), at);
    return;
  }
  DrawRows(canvas, StandardSheetTop(), at);
  if (style != 0) DrawRows(canvas, StandardSheetHeader(style == 1 || style == 4 || style == 5), at);
  DrawRows(canvas, StandardSheetBody(), at);
}

void SheetPrinter::DrawPickupRequest(Canvas& cv) {
  const bool baggage = run_->header.BaggageMode;
  origin_ = SlotOriginFor(position_, baggage);
  DrawOutline(cv, kBaggageLabelHeight);
  RowContext at{.total = std::to_string(LabelTotal(c_.label)), .baggage = baggage};
  DrawRows(cv, PickupHead(), at);
  for (int k = 1; k <= kBagEntries && !um_[k].empty(); ++k) {
    at.entry = k;
    at.dy = 12 * (k - 1);
    DrawRows(cv, PickupEntryRows(), at);
  }
  at.dy = 0;
  DrawRows(cv, PickupFoot(), at);
}

void SheetPrinter::DrawOutline(Canvas& cv, int height) {
  DrawFrame(cv, 0, 0, kLabelWidth, height);
  DrawBox(cv, 0, 0, kLabelWidth, height, false);
}

bool SheetPrinter::Wanted(const SheetRow& row, const RowContext& at) const {
  switch (row.when) {
    case SheetWhen::Always: return true;
    case SheetWhen::FieldSet: return !c_.label.Fields[static_cast<std::size_t>(row.arg)].empty();
    case SheetWhen::Coded: return !bare_;
    case SheetWhen::Bare: return bare_;
    case SheetWhen::Sheet: return !at.baggage;
    case SheetWhen::Baggage: return at.baggage;
    case SheetWhen::LabelEntry: return at.baggage && at.entry >= 1 && at.entry <= kBagEntries;
  }
  return false;
}

std::string SheetPrinter::Caption(int k) { return LoadCaption(c_.platform.resources, run_->header.CaptionBase, k); }

std::string SheetPrinter::Words(const SheetRow& row, const RowContext& at) {
  const auto& f = c_.label.Fields;
  const std::string& field = f[static_cast<std::size_t>(row.arg)];
  const auto entry = static_cast<std::size_t>(at.entry);
  switch (row.words) {
    case SheetWords::Literal: return row.text;
    case SheetWords::Field: return field;
    case SheetWords::FieldOrBlank: return field == "0" ? " " : field;
    case SheetWords::LiteralField: return row.text + field;
    case SheetWords::CaptionedField: return Caption(17) + " " + field;
    case SheetWords::FieldOfTotal: return field + " / " + at.total;
    case SheetWords::FieldCode: return BuildCode128Content(field);
    case SheetWords::Caption: return Caption(row.arg);
    case SheetWords::BagLine: return bag_.at(static_cast<std::size_t>(row.arg));
    case SheetWords::PickupDate: return Head(bag_[6] + " " + bag_[7], 21);
    case SheetWords::BagCount: return "Nb bagages : " + at.total;
    case SheetWords::EntryNumber: {
      char number[16];
      std::snprintf(number, sizeof number, "%2d", at.entry);
      return number;
    }
    case SheetWords::PickupEntry: return um_.at(entry);
    case SheetWords::LabelEntry: return (bare_ ? ug_ : um_).at(entry);
  }
  return {};
}

// The one loop every sheet layout is drawn with.
void SheetPrinter::DrawRows(Canvas& cv, SheetLayout rows, const RowContext& at) {
  for (const SheetRow& r : rows) {
    if (!Wanted(r, at)) continue;
    const int y1 = r.y1 + at.dy, y2 = r.y2 + at.dy;
    switch (r.ink) {
      case SheetInk::Text: DrawText(cv, r.x1, y1, r.x2, Words(r, at), r.font, r.size); break;
      case SheetInk::Line: DrawLine(cv, r.x1, y1, r.x2, y2, r.size, 1); break;
      case SheetInk::ScaledLine: DrawLine(cv, r.x1, y1, r.x2, y2, r.size, c_.chooser.ScaleY()); break;
      case SheetInk::Box: DrawBox(cv, r.x1, y1, r.x2, y2, false); break;
      case SheetInk::Fill: DrawBox(cv, r.x1, y1, r.x2, y2, true); break;
      case SheetInk::Code: PaintCode(cv, Words(r, at), r.size, r.x1, y1, r.x2, y2); break;
    }
  }
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

void SheetPrinter::DrawText(Canvas& cv, int x, int y, int right, const std::string& text, SheetFont font, int size) {
  if (font.face == SheetFace::Sans) face_ = "MS Sans Serif";
  if (font.face == SheetFace::Serif) face_ = "MS Serif";
  const int sx = c_.chooser.ScaleX(), sy = c_.chooser.ScaleY();
  cv.SetFont(face_, size, font.bold, font.inverse ? kWhite : kBlack);
  const std::optional<int> clip = right != 0 ? std::optional<int>((origin_.x + right) * sx) : std::nullopt;
  cv.DrawText((origin_.x + x) * sx, (origin_.y + y) * sy, Head(text, kMaxDrawnText), clip,
              font.inverse ? std::optional<Colour>(kBlack) : std::nullopt);
}

}  // namespace imptherm
