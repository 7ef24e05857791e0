#include "labels/layouts.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "base/text.h"
#include "common/captions.h"

namespace imptherm {

// What the data of a line is made of.
enum class LayoutData { None, Caption, Field, Fold, Fold16, TrimFoldCut, Counter };

struct LayoutLine {
  const char* text;  // a whole graphic line, or the prefix of an A or B line
  LayoutData data = LayoutData::None;
  int arg = 0;          // caption id or field number
  std::size_t max = 0;  // TrimFoldCut length
};

namespace {

constexpr std::size_t kFoldLimit = 255;

using Data = LayoutData;
using Line = LayoutLine;
using Layout = std::vector<Line>;

// The design that five kinds share, line 1 first.
const Layout& KavLayout() {
  static const Layout kav = {
      {"LO70,628,291,16"},
      {"LO408,540,2,59"},
      {"LO10,540,810,3"},
      {"LO10,260,810,3"},
      {"LO480,10,2,250"},
      {"LO010,200,470,3"},
      {"X410,615,15,800,840"},
      {"LO410,615,15,220"},
      {"LO785,615,16,220"},
      {"LO410,615,375,58"},
      {"LO410,773,375,58"},
      {"A020,560,1,1,1,1,N,", Data::Caption, 1},
      {"A815,250,2,2,1,1,N,", Data::Caption, 2},
      {"A815,225,2,2,1,1,N,", Data::Caption, 3},
      {"A815,200,2,2,1,1,N,", Data::Caption, 4},
      {"A815,175,2,2,1,1,N,", Data::Caption, 5},
      {"A815,150,2,2,1,1,N,", Data::Caption, 6},
      {"A815,125,2,2,1,1,N,", Data::Caption, 7},
      {"A815,100,2,2,1,1,N,", Data::Caption, 8},
      {"A815,075,2,2,1,1,N,", Data::Caption, 9},
      {"A815,050,2,2,1,1,N,", Data::Caption, 10},
      {"A020,050,1,2,1,1,N,", Data::Caption, 11},
      {"A386,810,2,4,3,3,N,", Data::Field, 0},
      {"A366,738,2,4,4,4,N,", Data::Field, 1},
      {"A276,800,2,5,3,3,N,", Data::Field, 2},
      {"A783,770,2,5,1,2,R,", Data::Field, 3},
      {"A817,650,1,1,1,1,N,", Data::Field, 5},
      {"A800,602,2,2,2,2,N,", Data::Fold, 6},
      {"A800,570,2,4,2,1,N,", Data::Field, 7},
      {"A660,565,2,2,1,1,N,", Data::Field, 8},
      {"A402,585,2,3,1,1,N,", Data::TrimFoldCut, 9, 27},
      {"A402,565,2,3,1,1,N,", Data::TrimFoldCut, 10, 27},
      {"A120,624,2,4,2,2,N,", Data::Field, 35},
      {"B780,536,2,1,3,3,248,N,", Data::Field, 32},
      {"A714,284,2,3,1,1,N,", Data::Field, 33},
      {"A745,256,2,4,2,1,N,", Data::Field, 11},
      {"A690,230,2,4,2,1,N,", Data::Counter, 30},
      {"A565,230,2,4,1,1,N,", Data::Field, 12},
      {"A670,202,2,3,1,1,N,", Data::Field, 13},
      {"A670,177,2,3,1,1,N,", Data::Field, 14},
      {"A670,152,2,3,1,1,N,", Data::Field, 15},
      {"A670,127,2,3,1,1,N,", Data::Field, 16},
      {"A670,102,2,3,1,1,N,", Data::Field, 17},
      {"A700,077,2,3,1,1,N,", Data::Field, 18},
      {"A720,050,2,2,1,1,N,", Data::Field, 31},
      {"A470,255,2,4,1,1,N,", Data::Field, 19},
      {"A470,228,2,4,1,1,N,", Data::Field, 20},
      {"A430,228,2,4,1,1,N,", Data::Field, 21},
      {"A340,228,2,4,1,1,N,", Data::Field, 22},
      {"A470,190,2,2,1,1,N,", Data::Field, 28},
      {"A470,170,2,3,1,1,N,", Data::TrimFoldCut, 23, 32},
      {"A470,145,2,3,1,1,N,", Data::TrimFoldCut, 24, 32},
      {"A470,120,2,3,1,1,N,", Data::TrimFoldCut, 25, 32},
      {"A470,095,2,3,1,2,N,", Data::Fold, 26},
      {"A100,095,2,3,1,2,N,", Data::Field, 27},
      {"A440,060,2,4,3,1,N,", Data::Field, 29},
      {"A022,620,1,2,1,2,N,", Data::Field, 34},
      {"A475,030,2,4,1,1,N,", Data::Field, 36},
  };
  return kav;
}

// Line n (from 1) of the shared design moved elsewhere: same data, new text.
struct Move {
  int n;
  const char* text;
};

// KAV lines first..last in order, with the moves applied; line 26 (field 03,
// reverse text) only when the kind prints it.
void AddKav(Layout& out, int first, int last, std::initializer_list<Move> moves, bool withField03) {
  for (int n = first; n <= last; ++n) {
    if (n == 26 && !withField03) continue;
    Line line = KavLayout()[n - 1];
    for (const Move& m : moves)
      if (m.n == n) line.text = m.text;
    out.push_back(line);
  }
}

Layout MakeHob() {
  Layout hob;
  AddKav(hob, 1, 58,
         {{1, "LO470,620,291,16"},
          {7, "X024,615,15,414,840"},
          {8, "LO024,615,15,220"},
          {9, "LO399,615,16,220"},
          {10, "LO024,615,375,58"},
          {11, "LO024,773,375,58"},
          {23, "A776,810,2,4,3,3,N,"},
          {24, "A766,735,2,4,4,4,N,"},
          {25, "A676,800,2,5,3,3,N,"},
          {26, "A397,770,2,5,1,2,R,"},
          {33, "A120,618,2,4,2,2,N,"}},
         true);
  return hob;
}

Layout MakeDun() {
  const std::initializer_list<Move> moves = {
      {1, "LO470,620,291,16"}, {23, "A776,810,2,4,3,3,N,"}, {24, "A766,735,2,4,4,4,N,"}, {25, "A676,800,2,5,3,3,N,"}};
  Layout dun;
  AddKav(dun, 1, 6, moves, false);
  AddKav(dun, 12, 58, moves, false);
  return dun;
}

// J41 and K63: the shared graphics, their own marks in place of the framed
// box, then the captions and fields without field 03.
Layout MakeMarked(std::initializer_list<const char*> marks) {
  Layout layout;
  AddKav(layout, 1, 6, {}, false);
  for (const char* mark : marks) layout.push_back({mark});
  AddKav(layout, 12, 58, {{24, "A366,735,2,4,4,4,N,"}}, false);
  return layout;
}

const Layout& ZanLayout() {
  static const Layout zan = {
      {"LO408,540,2,59"},
      {"LO10,540,810,3"},
      {"LO10,260,810,3"},
      {"LO028,690,384,6"},
      {"LO420,690,384,6"},
      {"LO440,10,5,250"},
      {"A815,170,2,4,1,1,N,", Data::Caption, 12},
      {"A815,136,2,4,1,1,N,", Data::Caption, 13},
      {"A815,102,2,4,1,1,N,", Data::Caption, 14},
      {"A815,068,2,4,1,1,N,", Data::Caption, 15},
      {"A815,034,2,4,1,1,N,", Data::Caption, 16},
      {"A660,565,2,1,1,2,N,", Data::Caption, 17},
      {"A800,843,2,4,3,3,N,", Data::Field, 0},
      {"A670,843,2,5,2,3,N,", Data::Field, 1},
      {"A405,843,2,4,3,3,N,", Data::Field, 2},
      {"A340,685,2,3,4,4,N,", Data::Field, 3},
      {"A817,650,1,1,1,1,N,", Data::Field, 4},
      {"A800,602,2,2,2,2,N,", Data::Fold16, 5},
      {"A620,565,2,1,1,2,N,", Data::Field, 6},
      {"A800,570,2,4,1,1,N,", Data::Field, 7},
      {"A402,602,2,2,2,2,N,", Data::TrimFoldCut, 8, 17},
      {"A402,570,2,3,1,1,N,", Data::TrimFoldCut, 9, 27},
      {"A415,250,2,4,1,2,N,", Data::TrimFoldCut, 10, 26},
      {"A415,190,2,4,1,1,N,", Data::TrimFoldCut, 11, 26},
      {"A415,158,2,4,1,1,N,", Data::TrimFoldCut, 12, 26},
      {"A415,130,2,2,2,3,N,", Data::Fold, 13},
      {"A415,075,2,4,2,2,N,", Data::Field, 14},
      {"A815,245,2,3,3,3,N,", Data::Field, 15},
      {"A630,136,2,4,1,1,N,", Data::Field, 16},
      {"A704,136,2,4,1,1,N,", Data::Counter, 17},
      {"A704,170,2,4,1,1,N,", Data::Field, 18},
      {"A704,068,2,4,1,1,N,", Data::Field, 19},
      {"A704,034,2,4,1,1,N,", Data::Field, 20},
      {"B780,510,2,1,3,3,200,B,", Data::Field, 21},
      {"A280,843,2,5,2,3,N,", Data::Field, 24},
      {"A704,102,2,4,1,1,N,", Data::Field, 25},
      {"A800,685,2,3,3,4,N,", Data::Field, 23},
      {"A796,748,2,4,1,2,N,", Data::Field, 26},
      {"A415,030,2,4,1,1,N,", Data::Field, 27},
      {"A270,430,2,4,2,2,N,", Data::Field, 29},
  };
  return zan;
}

// The kinds that have a layout, in the order of LayoutTables.
constexpr const char* kLayoutKinds[] = {"{KAV", "{HOB", "{DUN", "{J41", "{K63", "{ZAN"};

std::array<const Layout*, 6> LayoutTables() {
  static const Layout hob = MakeHob(), dun = MakeDun();
  static const Layout j41 = MakeMarked({"LO415,620,75,75", "LO565,620,75,75", "LO715,620,75,75", "LO490,695,75,75",
                                        "LO640,695,75,75", "LO415,770,75,75", "LO565,770,75,75", "LO715,770,75,75",
                                        "LO415,610,75,75", "LO565,610,75,75", "LO715,610,75,75", "LO490,685,75,75",
                                        "LO640,685,75,75", "LO415,760,75,75", "LO565,760,75,75", "LO715,760,75,75"});
  static const Layout k63 = MakeMarked({"LO412,618,385,80", "LO412,770,385,80"});
  return {&KavLayout(), &hob, &dun, &j41, &k63, &ZanLayout()};
}

// The accent folding table: every byte maps to itself unless listed; 0
// marks the control characters, which are dropped.
struct FoldTable {
  unsigned char to[256];
  FoldTable() {
    for (int c = 0; c < 256; ++c) to[c] = static_cast<unsigned char>(c < 32 ? 0 : c);
    const std::pair<const char*, char> groups[] = {
        {"\xC9\xC8\xCA\xCB", 'E'},
        {"\xD4\xD6\xD2\xD3\xD5", 'O'},
        {"\xD9\xDB\xDC\xDA", 'U'},
        {"\xC0\xC1\xC2\xC3\xC4\xC5", 'A'},
        {"\xCC\xCD\xCE\xCF", 'I'},
        {"\xD0", 'D'},
        {"\xD1", 'N'},
        {"\xDD\x9F", 'Y'},
        {"\xC7", 'C'},
        {"\xE9\xE8\xEA\xEB", 'e'},
        {"\xF2\xF3\xF4\xF5\xF6", 'o'},
        {"\xF9\xFA\xFB\xFC", 'u'},
        {"\xFD", 'y'},
        {"\xE0\xE1\xE2\xE3\xE4\xE5", 'a'},
        {"\xEC\xED\xEE\xEF", 'i'},
        {"\xF1", 'n'},
        {"\xE7", 'c'},
        {"},", ' '},
    };
    for (const auto& [from, plain] : groups)
      for (const char* p = from; *p; ++p) to[static_cast<unsigned char>(*p)] = static_cast<unsigned char>(plain);
  }
};

// The folded text, in `folded` (room for kFoldLimit characters).
std::string_view Fold(std::string_view text, char* folded) {
  static const FoldTable table;
  text = text.substr(0, kFoldLimit);
  // A text holds the sharp s either as one Windows-1252 byte or, pasted from
  // elsewhere, as its two UTF-8 bytes; only one form is mended, the single
  // byte when both are there. Texts are short: a plain scan, no library call.
  std::string_view sharp;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\xDF') {
      sharp = "\xDF";
      break;
    }
    if (sharp.empty() && text[i] == '\xC3' && i + 1 < text.size() && text[i + 1] == '\x9F') sharp = "\xC3\x9F";
  }
  std::size_t length = 0;
  if (sharp.empty()) {
    // Byte for byte, without a branch: a dropped byte's place is taken by the next.
    for (char c : text) {
      const unsigned char plain = table.to[static_cast<unsigned char>(c)];
      folded[length] = static_cast<char>(plain);
      length += plain != 0;
    }
    return {folded, length};
  }
  // The text with its sharp s written out is cut to the limit again before
  // folding, so the count is of written-out characters.
  std::size_t written = 0;
  auto put = [&](char c) {
    if (written++ >= kFoldLimit) return false;
    const unsigned char plain = table.to[static_cast<unsigned char>(c)];
    if (plain != 0) folded[length++] = static_cast<char>(plain);
    return true;
  };
  for (std::size_t i = 0; i < text.size();) {
    if (!sharp.empty() && text[i] == sharp[0] && text.substr(i, sharp.size()) == sharp) {
      if (!put('S') || !put('S')) break;
      i += sharp.size();
    } else {
      if (!put(text[i])) break;
      ++i;
    }
  }
  return {folded, length};
}

std::string_view TrimFoldCut(std::string_view text, std::size_t maxLength, char* folded) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return Fold(text, folded).substr(0, maxLength);
}

// The first double quote in `text` from `i` on, or its size: field data is
// short and seldom holds one, so it is looked for eight bytes at a time
// rather than through a library call for every field.
std::size_t FindQuote(std::string_view text, std::size_t i) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    word ^= kOnes * '"';
    // Nonzero exactly when one of the eight bytes was a quote.
    if (((word - kOnes) & ~word & kHighs) != 0) break;
  }
  while (i < text.size() && text[i] != '"') ++i;
  return i;
}

// A double quote inside the data of an A or B line would end the data early
// at the printer, so `text` is appended with each one written as \";
// backslashes stay as they are, since a server may send EPL2 escapes of its
// own.
void AppendEscaped(std::string& out, std::string_view text) {
  for (std::size_t quote; (quote = FindQuote(text, 0)) < text.size();) {
    out.append(text.data(), quote);
    out += "\\\"";
    text.remove_prefix(quote + 1);
  }
  out.append(text);
}

// The data of a field line, between its double quotes.
void AppendFieldData(std::string& out, const Line& line, const LabelRecord& label) {
  const std::string& field = label.Fields[line.arg];
  char folded[kFoldLimit];
  switch (line.data) {
    case Data::None:
    case Data::Caption: break;
    case Data::Field: AppendEscaped(out, field); break;
    case Data::Fold: AppendEscaped(out, Fold(field, folded)); break;
    case Data::Fold16: AppendEscaped(out, Fold(std::string_view(field).substr(0, 16), folded)); break;
    case Data::TrimFoldCut: AppendEscaped(out, TrimFoldCut(field, line.max, folded)); break;
    case Data::Counter:
      AppendEscaped(out, field);
      out += " / ";
      out += std::to_string(label.LabelTotal());
      break;
  }
}

}  // namespace

LayoutCaptions LoadLayoutCaptions(Resources& resources, int captionBase) {
  LayoutCaptions captions;
  for (int k = 1; k < static_cast<int>(captions.size()); ++k) captions[k] = LoadCaption(resources, captionBase, k);
  return captions;
}

CaptionedLayouts::CaptionedLayouts(const LayoutCaptions& captions) {
  const auto tables = LayoutTables();
  for (std::size_t k = 0; k < tables.size(); ++k) {
    Layout& out = layouts_[k];
    for (const Line& line : *tables[k]) {
      out.text += line.text;
      if (line.data == Data::Caption) {
        out.text += '"';
        AppendEscaped(out.text, captions[line.arg]);
        out.text += '"';
      } else if (line.data != Data::None) {
        out.text += '"';
        out.holes.push_back({out.text.size(), &line, IsDerivedField(kLayoutKinds[k], line.arg)});
        out.text += '"';
      }
      out.text += "\r\n";
    }
  }
}

const CaptionedLayouts::Layout* CaptionedLayouts::Find(const std::string& kind) const {
  for (std::size_t k = 0; k < layouts_.size(); ++k)
    if (kind == kLayoutKinds[k]) return &layouts_[k];
  return nullptr;
}

void LayoutTemplate::Fill(const LabelRecord& label, const CaptionedLayouts& layouts) {
  text_.clear();
  holes_.clear();
  const CaptionedLayouts::Layout* layout = layouts.Find(label.RecordKind);
  if (!layout) return;
  std::size_t from = 0;
  for (const CaptionedLayouts::Hole& hole : layout->holes) {
    text_.append(layout->text, from, hole.at - from);
    from = hole.at;
    if (hole.perLabel) {
      holes_.push_back({text_.size(), hole.line});
    } else {
      AppendFieldData(text_, *hole.line, label);
    }
  }
  text_.append(layout->text, from, std::string::npos);
}

void LayoutTemplate::Append(std::string& out, const LabelRecord& label) const {
  std::size_t from = 0;
  for (const Hole& hole : holes_) {
    out.append(text_, from, hole.at - from);
    AppendFieldData(out, *hole.line, label);
    from = hole.at;
  }
  out.append(text_, from, std::string::npos);
}

std::string RenderLayout(const LabelRecord& label, const LayoutCaptions& captions) {
  std::string out;
  LayoutTemplate(label, CaptionedLayouts(captions)).Append(out, label);
  return out;
}

std::string FoldAccents(std::string_view text) {
  char folded[kFoldLimit];
  return std::string(Fold(text, folded));
}

std::string TrimFoldCut(std::string_view text, std::size_t maxLength) {
  char folded[kFoldLimit];
  return std::string(TrimFoldCut(text, maxLength, folded));
}

}  // namespace imptherm
