#pragma once
#include <cstdint>
#include <span>

namespace imptherm {

// What a row of a sheet layout draws.
enum class SheetInk : std::uint8_t {
  Text,
  Line,        // pen width: the row's size
  ScaledLine,  // pen width: the row's size times the printer's vertical scale
  Box,         // an outlined rectangle
  Fill,        // a black rectangle
  Code,        // a Code 128 barcode; size is the module width
};

// Where the words of a text row, or the data of a barcode row, come from.
enum class SheetWords : std::uint8_t {
  Literal,         // the row's text
  Field,           // field arg
  FieldOrBlank,    // field arg, a blank in place of "0"
  LiteralField,    // the row's text, then field arg
  CaptionedField,  // caption 17, a blank, field arg
  FieldOfTotal,    // field arg, " / ", the labels of the record
  FieldCode,       // the Code 128 content built from field arg
  Caption,         // caption arg of the record's bank
  BagLine,         // baggage line arg
  PickupDate,      // baggage lines 6 and 7, at most 21 characters
  BagCount,        // "Nb bagages : " and the labels of the record
  EntryNumber,     // the number of the pickup entry, two wide
  PickupEntry,     // the UM line of the pickup entry
  LabelEntry,      // the label's UM line (UG on a bare record)
};

// When a row is drawn.
enum class SheetWhen : std::uint8_t {
  Always,
  FieldSet,    // field arg is not empty
  Coded,       // the record has a pickup barcode (always outside baggage mode)
  Bare,        // the record has none
  Sheet,       // outside baggage mode
  Baggage,     // in baggage mode
  LabelEntry,  // the label has a UM or UG line (labels 1 to 15)
};

// Kept: the face of the text drawn before.
enum class SheetFace : std::uint8_t { Kept, Sans, Serif };

struct SheetFont {
  SheetFace face = SheetFace::Sans;
  bool bold = false;
  bool inverse = false;  // white on black
};

// One row of a sheet layout, in sheet units from the slot's origin.
struct SheetRow {
  SheetInk ink;
  int x1, y1, x2, y2;  // a text: its origin and the right edge it is cut at (0: not cut)
  int size;            // text size, pen width or barcode module
  SheetWords words = SheetWords::Literal;
  int arg = 0;  // field, caption or baggage line number
  const char* text = "";
  SheetFont font{};
  SheetWhen when = SheetWhen::Always;

  constexpr SheetRow If(SheetWhen w) const {
    SheetRow r = *this;
    r.when = w;
    return r;
  }
};

using SheetLayout = std::span<const SheetRow>;

// The black marks of a label style (1 to 6) in its header band.
SheetLayout SheetBand(int style);
// The label of a {ZAN record.
SheetLayout ZanSheetLayout();
// The label of every other record: its top, the header of a style that has
// one (on the right half for styles 1, 4 and 5), then the rest.
SheetLayout StandardSheetTop();
SheetLayout StandardSheetHeader(bool right);
SheetLayout StandardSheetBody();
// The pickup request: its head, one group per UM entry (moved down 12
// units per entry), its foot.
SheetLayout PickupHead();
SheetLayout PickupEntryRows();
SheetLayout PickupFoot();
// The two strokes that mark a copy.
SheetLayout CopyStrokes();

}  // namespace imptherm
