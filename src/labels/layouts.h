#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "labels/label_record.h"
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

// The layout of one record, rendered once with holes where the fields that
// change from label to label go (the label number, the barcode). Made after
// the record's fields are loaded; every label then costs a copy and the
// holes.
struct LayoutLine;
class LayoutTemplate {
 public:
  LayoutTemplate(const LabelRecord& label, const LayoutCaptions& captions);
  // The layout of a label of the same record, as RenderLayout gives it.
  void Append(std::string& out, const LabelRecord& label) const;

 private:
  struct Hole {
    std::size_t at;  // just after the opening double quote in text_
    const LayoutLine* line;
  };
  const LayoutCaptions& captions_;
  std::string text_;
  std::vector<Hole> holes_;
  mutable std::string scratch_;  // the data of one line before its quotes are escaped
};

// Accented capitals and small letters to their plain letters, ß to "SS",
// "}" and "," to blanks, control characters dropped; at most 255 characters.
std::string FoldAccents(std::string_view text);

// Blanks and control characters trimmed from both ends, then folded and cut
// to maxLength characters.
std::string TrimFoldCut(std::string_view text, std::size_t maxLength);

}  // namespace imptherm
