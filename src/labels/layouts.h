#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "labels/label_record.h"
#include "platform/resources.h"

namespace imptherm {

// Captions 1 to 17 of one caption bank, looked up once per job rather than
// once per line (entry 0 is unused).
using LayoutCaptions = std::array<std::string, 18>;
LayoutCaptions LoadLayoutCaptions(Resources& resources, int captionBase);

// Appends the EPL2 lines that draw the current label through the layout of
// its RecordKind; a kind without a layout appends nothing.
void AppendLayout(std::string& out, const LabelRecord& label, const LayoutCaptions& captions);
std::string RenderLayout(const LabelRecord& label, const LayoutCaptions& captions);

// Accented capitals and small letters to their plain letters, ß to "SS",
// "}" and "," to blanks, control characters dropped; at most 255 characters.
std::string FoldAccents(std::string_view text);

// Blanks and control characters trimmed from both ends, then folded and cut
// to maxLength characters.
std::string TrimFoldCut(std::string_view text, std::size_t maxLength);

}  // namespace imptherm
