#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/label_record.h"
#include "platform/resources.h"

namespace imptherm {

// Captions 1 to 17 of one caption bank, looked up once per job rather than
// once per line (entry 0 is unused).
using LayoutCaptions = std::array<std::string, 18>;
LayoutCaptions LoadLayoutCaptions(Resources& resources, int captionBase);

// The EPL2 lines that draw the current label through the layout of its
// RecordKind; a kind without a layout gives nothing. A double quote inside
// the data of an A or B line goes out as \" (it would end the data early);
// backslashes are left as they are.
std::string RenderLayout(const LabelRecord& label, const LayoutCaptions& captions);

struct LayoutLine;

// The six layouts with the captions of one bank written in: each layout's
// fixed bytes (graphics lines, captions, the start of every A and B line,
// quotes and line ends) are written once per caption bank, with holes where
// the fields go.
class CaptionedLayouts {
 public:
  explicit CaptionedLayouts(const LayoutCaptions& captions);

 private:
  friend class LayoutTemplate;
  struct Hole {
    std::size_t at;  // just after the opening double quote in text
    const LayoutLine* line;
    bool perLabel;  // a derived field: filled for every label, not once per record
  };
  struct Layout {
    std::string text;
    std::vector<Hole> holes;
  };
  // The layout of a RecordKind; none for a kind without one.
  const Layout* Find(const std::string& kind) const;
  std::array<Layout, 6> layouts_;
};

// The layout of one record: its record's fields written into the holes once,
// leaving the holes of the fields that change from label to label (the
// label number, the barcode). Made after the record's fields are loaded;
// every label then costs a copy and those few holes.
class LayoutTemplate {
 public:
  LayoutTemplate() = default;
  LayoutTemplate(const LabelRecord& label, const CaptionedLayouts& layouts) { Fill(label, layouts); }
  // Made again for another record; the room of the one before is kept.
  void Fill(const LabelRecord& label, const CaptionedLayouts& layouts);
  // The layout of a label of the same record, as RenderLayout gives it.
  void Append(std::string& out, const LabelRecord& label) const;

 private:
  struct Hole {
    std::size_t at;  // just after the opening double quote in text_
    const LayoutLine* line;
  };
  std::string text_;
  std::vector<Hole> holes_;
};

// Accented capitals and small letters to their plain letters, ß to "SS",
// "}" and "," to blanks, control characters dropped; at most 255 characters.
std::string FoldAccents(std::string_view text);

// Blanks and control characters trimmed from both ends, then folded and cut
// to maxLength characters.
std::string TrimFoldCut(std::string_view text, std::size_t maxLength);

}  // namespace imptherm
