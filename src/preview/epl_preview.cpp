#include "preview/epl_preview.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "barcode/code128.h"
#include "barcode/code39.h"
#include "barcode/ean13.h"
#include "barcode/interleaved_2_of_5.h"
#include "base/text.h"

namespace imptherm {

// One field of the image buffer, with the reference point already added.
struct EplPreview::Element {
  enum Kind { Black, White, Invert, Box, Slant, Text, Bars } kind = Black;
  int x = 0, y = 0, w = 0, h = 0;  // Box: the corners; Slant: the ends
  int thickness = 0;
  int turns = 0;
  int cellWidth = 0, cellHeight = 0;
  bool reverse = false;
  std::string text;      // Text: the characters; Bars: the human-readable line
  std::string elements;  // Bars: the symbol (see BarSymbol), or its Code 128 values
  bool code128 = false;  // a byte a symbol value: a sixth of the memory of its widths
  int narrow = 0, wide = 0;
};

namespace {

// The cells of fonts 1 to 5: width and height in dots, character spacing
// included, at 203 and at 300 dpi.
struct Cell {
  int width, height;
};
constexpr std::array<Cell, 5> kCells203 = {{{8, 12}, {10, 16}, {12, 20}, {14, 24}, {32, 48}}};
constexpr std::array<Cell, 5> kCells300 = {{{12, 20}, {16, 28}, {20, 36}, {24, 44}, {48, 80}}};
// The human-readable line under a barcode is printed in font 2.
constexpr int kReadableFont = 2;
constexpr int kReadableGap = 4;

Cell CellOf(int font, int dpi) { return (dpi == 300 ? kCells300 : kCells203)[font - 1]; }

// Parameters of a command: numbers and words between commas; the quoted
// data of A and B lines is taken apart first.
std::vector<std::string_view> SplitParameters(std::string_view args) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = args.find(',', start);
    out.push_back(args.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return out;
    start = comma + 1;
  }
}

std::optional<int> Number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The data between double quotes, with \" and \\ for a quote and a
// backslash. Nothing when the text is not one quoted string.
std::optional<std::string> QuotedData(std::string_view text) {
  if (text.size() < 2 || text.front() != '"') return std::nullopt;
  std::string data;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      data += text[++i];
    } else if (text[i] == '"') {
      if (text.substr(i + 1).find_first_not_of(' ') != std::string_view::npos) return std::nullopt;
      return data;
    } else {
      data += text[i];
    }
  }
  return std::nullopt;
}

// The parameters before the quoted data: `count` of them, each ended by a comma.
bool SplitBeforeData(std::string_view args, std::size_t count, std::vector<std::string_view>& params,
                     std::string_view& data) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t comma = args.find(',', start);
    if (comma == std::string_view::npos) return false;
    params.push_back(args.substr(start, comma - start));
    start = comma + 1;
  }
  data = args.substr(start);
  return true;
}

// Where a point of a field, (s, t) from its origin before turning, falls on
// the label: turned clockwise about the origin, then the whole image turned
// over when the label is printed from the bottom.
struct Placement {
  int x, y, turns, width, length;
  bool fromBottom;
  Point At(int s, int t) const {
    Point p;
    switch (turns & 3) {
      case 0: p = {x + s, y + t}; break;
      case 1: p = {x - t, y + s}; break;
      case 2: p = {x - s, y - t}; break;
      default: p = {x + t, y - s}; break;
    }
    if (fromBottom) p = {width - p.x, length - p.y};
    return p;
  }
  int Turns() const { return (turns + (fromBottom ? 2 : 0)) & 3; }
};

// The widths in dots of a symbol's elements, bar first.
template <typename Each>
void ForEachWidth(const EplPreview::Element& e, Each each) {
  auto one = [&](char c) { each(c == 'n' ? e.narrow : c == 'w' ? e.wide : (c - '0') * e.narrow); };
  if (!e.code128) {
    for (char c : e.elements) one(c);
    return;
  }
  for (char value : e.elements)
    for (char c : Code128Pattern(static_cast<unsigned char>(value))) one(c);
}

// A device rectangle from two opposite corners in any order.
void Area(Point a, Point b, int& x1, int& y1, int& x2, int& y2) {
  x1 = std::min(a.x, b.x), x2 = std::max(a.x, b.x);
  y1 = std::min(a.y, b.y), y2 = std::max(a.y, b.y);
}

void DrawElement(Canvas& canvas, const EplPreview::Element& e, int width, int length, bool fromBottom, int dpi) {
  using E = EplPreview::Element;
  const Placement at{e.x, e.y, e.turns, width, length, fromBottom};
  int x1, y1, x2, y2;
  auto rect = [&](int s1, int t1, int s2, int t2) { Area(at.At(s1, t1), at.At(s2, t2), x1, y1, x2, y2); };
  switch (e.kind) {
    case E::Black:
    case E::White:
    case E::Invert:
      rect(0, 0, e.w, e.h);
      if (e.kind == E::Invert)
        canvas.InvertRectangle(x1, y1, x2, y2);
      else
        canvas.FillRectangle(x1, y1, x2, y2, e.kind == E::Black ? kBlack : kWhite);
      return;
    case E::Box: {
      const int t = e.thickness, bw = e.w - e.x, bh = e.h - e.y;
      for (auto [s1, t1, s2, t2] : std::array<std::array<int, 4>, 4>{
               {{0, 0, bw, t}, {0, bh - t, bw, bh}, {0, 0, t, bh}, {bw - t, 0, bw, bh}}}) {
        rect(std::max(0, s1), std::max(0, t1), s2, t2);
        canvas.FillRectangle(x1, y1, x2, y2, kBlack);
      }
      return;
    }
    case E::Slant: {
      const Placement end{e.w, e.h, 0, width, length, fromBottom};
      canvas.FillPolygon({at.At(0, 0), end.At(0, 0), end.At(0, e.thickness), at.At(0, e.thickness)}, kBlack);
      return;
    }
    case E::Text: {
      const Point origin = at.At(0, 0);
      canvas.DrawCellText(origin.x, origin.y, e.text, e.cellWidth, e.cellHeight, at.Turns(), kBlack);
      if (e.reverse) {
        rect(0, 0, e.cellWidth * static_cast<int>(e.text.size()), e.cellHeight);
        canvas.InvertRectangle(x1, y1, x2, y2);
      }
      return;
    }
    case E::Bars: {
      int s = 0;
      bool bar = true;
      ForEachWidth(e, [&](int w) {
        if (bar) {
          rect(s, 0, s + w, e.h);
          canvas.FillRectangle(x1, y1, x2, y2, kBlack);
        }
        s += w;
        bar = !bar;
      });
      if (!e.text.empty()) {
        const Cell cell = CellOf(kReadableFont, dpi);
        const int textWidth = cell.width * static_cast<int>(e.text.size());
        const Point origin = at.At((s - textWidth) / 2, e.h + kReadableGap);
        canvas.DrawCellText(origin.x, origin.y, e.text, cell.width, cell.height, at.Turns(), kBlack);
      }
      return;
    }
  }
}

}  // namespace

std::string Cp850ToCp1252(std::string_view text) {
  // The upper half of code page 850, as Unicode code points.
  static constexpr std::array<std::uint16_t, 128> kUpper = {
      0xC7,   0xFC,   0xE9,   0xE2,   0xE4,   0xE0,   0xE5,   0xE7,   0xEA,   0xEB,   0xE8,   0xEF,   0xEE,
      0xEC,   0xC4,   0xC5,   0xC9,   0xE6,   0xC6,   0xF4,   0xF6,   0xF2,   0xFB,   0xF9,   0xFF,   0xD6,
      0xDC,   0xF8,   0xA3,   0xD8,   0xD7,   0x192,  0xE1,   0xED,   0xF3,   0xFA,   0xF1,   0xD1,   0xAA,
      0xBA,   0xBF,   0xAE,   0xAC,   0xBD,   0xBC,   0xA1,   0xAB,   0xBB,   0x2591, 0x2592, 0x2593, 0x2502,
      0x2524, 0xC1,   0xC2,   0xC0,   0xA9,   0x2563, 0x2551, 0x2557, 0x255D, 0xA2,   0xA5,   0x2510, 0x2514,
      0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0xE3,   0xC3,   0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
      0x256C, 0xA4,   0xF0,   0xD0,   0xCA,   0xCB,   0xC8,   0x131,  0xCD,   0xCE,   0xCF,   0x2518, 0x250C,
      0x2588, 0x2584, 0xA6,   0xCC,   0x2580, 0xD3,   0xDF,   0xD4,   0xD2,   0xF5,   0xD5,   0xB5,   0xFE,
      0xDE,   0xDA,   0xDB,   0xD9,   0xFD,   0xDD,   0xAF,   0xB4,   0xAD,   0xB1,   0x2017, 0xBE,   0xB6,
      0xA7,   0xF7,   0xB8,   0xB0,   0xA8,   0xB7,   0xB9,   0xB3,   0xB2,   0x25A0, 0xA0};
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) continue;
    const std::uint16_t u = kUpper[byte - 0x80];
    // Windows-1252 holds Latin-1's upper half at the same codes, and the
    // florin at 0x83.
    c = static_cast<char>(u <= 0xFF ? u : u == 0x192 ? 0x83 : '?');
  }
  return out;
}

int MaxLabelWidthDots(int dotsPerInch) { return dotsPerInch == 300 ? 1248 : 832; }
int MaxLabelLengthDots(int dotsPerInch) { return dotsPerInch * kMaxLabelInches; }

EplPreview::EplPreview(LabelPictures& pictures, PreviewOptions options) : pictures_(pictures), options_(options) {
  if (options_.dotsPerInch != 300) options_.dotsPerInch = 203;
  const int maxWidth = MaxLabelWidthDots(options_.dotsPerInch);
  const int maxLength = MaxLabelLengthDots(options_.dotsPerInch);
  width_ = options_.labelWidth > 0 ? std::min(options_.labelWidth, maxWidth) : maxWidth;
  length_ =
      options_.labelLength > 0 ? std::min(options_.labelLength, maxLength) : kDefaultLabelInches * options_.dotsPerInch;
}

EplPreview::~EplPreview() = default;

void EplPreview::Note(std::string text) {
  // A note quotes bytes of the job, which may be anything; it goes to a
  // terminal.
  if (notes_.size() < kMaxNotes)
    notes_.push_back({lineNumber_, VisibleControls(text, true)});
  else
    ++notesLeftOut_;
}

void EplPreview::Write(std::string_view piece) {
  while (!piece.empty()) {
    const std::size_t end = piece.find('\n');
    const std::string_view part = piece.substr(0, end);
    if (partial_.size() + part.size() > kMaxLineLength)
      overlong_ = true;
    else if (!overlong_)
      partial_.append(part);
    if (end == std::string_view::npos) return;
    piece.remove_prefix(end + 1);
    ++lineNumber_;
    if (overlong_) {
      Note("a line longer than " + std::to_string(kMaxLineLength) + " bytes, not drawn");
    } else {
      std::string_view line = partial_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      Line(line);
    }
    partial_.clear();
    overlong_ = false;
  }
}

void EplPreview::Finish() {
  if (partial_.empty() && !overlong_) return;
  Write("\n");
}

void EplPreview::Line(std::string_view line) {
  if (line.empty()) return;
  // Two-letter commands first: LO is not L followed by O.
  static constexpr std::array<std::string_view, 6> kTwoLetter = {"LO", "LW", "LE", "LS", "ZT", "ZB"};
  std::string_view name = line.substr(0, 1);
  for (std::string_view two : kTwoLetter)
    if (line.substr(0, 2) == two) name = two;
  const std::string_view args = line.substr(name.size());
  const std::vector<std::string_view> p = SplitParameters(args);
  auto malformed = [&](const std::string& why) { Note("malformed " + std::string(name) + " command: " + why); };
  auto numbers = [&](std::size_t count, std::array<int, 5>& out) {
    if (p.size() != count) return false;
    for (std::size_t i = 0; i < count; ++i) {
      const std::optional<int> n = Number(p[i]);
      if (!n) return false;
      out[i] = *n;
    }
    return true;
  };
  auto full = [&]() {
    if (elements_.size() < kMaxElements) return false;
    Note("more than " + std::to_string(kMaxElements) + " fields in one label, not drawn");
    return true;
  };

  if (name == "N") {
    elements_.clear();
  } else if (name == "P") {
    int sets = 1, copies = 1;
    if (!args.empty()) {
      const std::optional<int> a = Number(p[0]);
      const std::optional<int> b = p.size() > 1 ? Number(p[1]) : std::optional<int>(1);
      if (!a || !b || *a < 1 || *b < 1 || p.size() > 2) return malformed("wants the number of labels from 1");
      sets = *a, copies = *b;
    }
    // Sets times copies can pass what an int holds.
    Print(static_cast<int>(std::min<long long>(1LL * sets * copies, std::numeric_limits<int>::max())));
  } else if (name == "LO" || name == "LW" || name == "LE") {
    std::array<int, 5> v{};
    if (!numbers(4, v)) return malformed("wants x, y, width and height in dots");
    if (full()) return;
    Element e;
    e.kind = name == "LO" ? Element::Black : name == "LW" ? Element::White : Element::Invert;
    e.x = v[0] + refX_, e.y = v[1] + refY_, e.w = v[2], e.h = v[3];
    elements_.push_back(e);
  } else if (name == "X" || name == "LS") {
    std::array<int, 5> v{};
    if (!numbers(5, v)) return malformed("wants x1, y1, thickness, x2 and y2 in dots");
    if (full()) return;
    Element e;
    e.kind = name == "X" ? Element::Box : Element::Slant;
    e.x = v[0] + refX_, e.y = v[1] + refY_, e.thickness = v[2], e.w = v[3] + refX_, e.h = v[4] + refY_;
    if (e.kind == Element::Box && (e.w < e.x || e.h < e.y)) return malformed("the end lies before the start");
    elements_.push_back(e);
  } else if (name == "A") {
    if (!full() && !Text(args)) return;
  } else if (name == "B") {
    if (!full() && !Barcode(args)) return;
  } else if (name == "q") {
    const std::optional<int> w = p.size() == 1 ? Number(p[0]) : std::nullopt;
    if (!w || *w < 1) return malformed("wants the label width in dots");
    if (*w > MaxLabelWidthDots(options_.dotsPerInch))
      return Note("label width " + std::to_string(*w) + " dots is wider than the print head (" +
                  std::to_string(MaxLabelWidthDots(options_.dotsPerInch)) + " dots), kept at " +
                  std::to_string(width_));
    width_ = *w;
  } else if (name == "Q") {
    const std::optional<int> l = !p.empty() ? Number(p[0]) : std::nullopt;
    if (!l || *l < 1 || p.size() < 2) return malformed("wants the label length and the gap in dots");
    if (*l > MaxLabelLengthDots(options_.dotsPerInch))
      return Note("label length " + std::to_string(*l) + " dots is longer than any label (" +
                  std::to_string(MaxLabelLengthDots(options_.dotsPerInch)) + " dots), kept at " +
                  std::to_string(length_));
    length_ = *l;
  } else if (name == "R") {
    std::array<int, 5> v{};
    if (!numbers(2, v)) return malformed("wants the reference point x and y in dots");
    refX_ = v[0], refY_ = v[1];
  } else if (name == "ZT" || name == "ZB") {
    if (!args.empty()) return malformed("takes no parameters");
    fromBottom_ = name == "ZB";
  } else if (name == "I") {
    // 8-bit data in code page 850 (I8,1); the other code pages are drawn as
    // Windows-1252.
    codePage850_ = p.size() >= 2 && p[0] == "8" && p[1] == "1";
  } else if (name == "S" || name == "D" || name == "O") {
    // Speed, density and options change how the label is printed, not
    // what is drawn on it.
  } else {
    std::size_t letters = 0;
    while (letters < 2 && letters < line.size() && std::isalpha(static_cast<unsigned char>(line[letters]))) ++letters;
    Note("unknown command " + std::string(line.substr(0, std::max<std::size_t>(letters, 1))) + ", not drawn");
  }
}

bool EplPreview::Text(std::string_view args) {
  std::vector<std::string_view> p;
  std::string_view quoted;
  std::optional<std::string> data;
  if (!SplitBeforeData(args, 7, p, quoted) || !(data = QuotedData(quoted))) {
    Note("malformed A command: wants x, y, rotation, font, multipliers, N or R, then the text in double quotes");
    return false;
  }
  std::array<int, 6> v{};
  for (int i = 0; i < 6; ++i) {
    const std::optional<int> n = Number(p[i]);
    if (!n) {
      Note("malformed A command: parameter " + std::to_string(i + 1) + " is not a number");
      return false;
    }
    v[i] = *n;
  }
  if (v[2] > 3 || v[3] < 1 || v[3] > 5 || v[4] < 1 || v[4] > 9 || v[5] < 1 || v[5] > 9 ||
      (p[6] != "N" && p[6] != "R")) {
    Note("malformed A command: rotation 0 to 3, font 1 to 5, multipliers 1 to 9, N or R");
    return false;
  }
  const Cell cell = CellOf(v[3], options_.dotsPerInch);
  Element e;
  e.kind = Element::Text;
  e.x = v[0] + refX_, e.y = v[1] + refY_, e.turns = v[2];
  e.cellWidth = cell.width * v[4], e.cellHeight = cell.height * v[5];
  e.reverse = p[6] == "R";
  e.text = codePage850_ ? Cp850ToCp1252(*data) : std::move(*data);
  elements_.push_back(std::move(e));
  return true;
}

bool EplPreview::Barcode(std::string_view args) {
  std::vector<std::string_view> p;
  std::string_view quoted;
  std::optional<std::string> data;
  if (!SplitBeforeData(args, 8, p, quoted) || !(data = QuotedData(quoted))) {
    Note(
        "malformed B command: wants x, y, rotation, type, narrow, wide, height, B or N, then the data in double "
        "quotes");
    return false;
  }
  std::array<std::optional<int>, 7> v;
  for (int i : {0, 1, 2, 4, 5, 6}) v[i] = Number(p[i]);
  if (!v[0] || !v[1] || !v[2] || *v[2] > 3 || !v[4] || *v[4] < 1 || *v[4] > 30 || !v[5] || *v[5] < 1 || *v[5] > 30 ||
      !v[6] || *v[6] < 1 || (p[7] != "B" && p[7] != "N")) {
    Note("malformed B command: rotation 0 to 3, narrow and wide 1 to 30 dots, a height, B or N");
    return false;
  }
  const std::string_view type = p[3];
  std::optional<BarSymbol> symbol;
  if (type == "1" || type == "1A" || type == "1B" || type == "1C") {
    // The printer picks the subsets itself (1), or starts in the one named.
    const std::optional<Code128Subset> start = type == "1A"   ? std::optional(Code128Subset::A)
                                               : type == "1B" ? std::optional(Code128Subset::B)
                                               : type == "1C" ? std::optional(Code128Subset::C)
                                                              : std::nullopt;
    symbol = BarSymbol{"", *data};
    for (int value : EncodeCode128Minimal(*data, start)) symbol->elements += static_cast<char>(value);
  } else if (type == "3") {
    symbol = EncodeCode39(*data);
  } else if (type == "2") {
    symbol = EncodeInterleaved2of5(*data);
  } else if (type == "E30") {
    symbol = EncodeEan13(*data);
  } else if (type == "UA0") {
    symbol = EncodeUpcA(*data);
  } else {
    Note("barcode type " + std::string(type) + " is not drawn by the preview");
    return false;
  }
  if (!symbol) {
    Note("B command: the data cannot be written in barcode type " + std::string(type));
    return false;
  }
  Element e;
  e.kind = Element::Bars;
  e.x = *v[0] + refX_, e.y = *v[1] + refY_, e.turns = *v[2];
  e.narrow = *v[4], e.wide = *v[5], e.h = *v[6];
  e.elements = std::move(symbol->elements);
  e.code128 = type.starts_with('1');
  if (p[7] == "B") e.text = std::move(symbol->humanReadable);
  // A printer cuts what lies past the label's edge; a cut barcode cannot be
  // read, so the preview says so.
  int symbolWidth = 0;
  ForEachWidth(e, [&](int w) { symbolWidth += w; });
  const Placement at{e.x, e.y, e.turns, width_, length_, false};
  int x1, y1, x2, y2;
  Area(at.At(0, 0), at.At(symbolWidth, e.h), x1, y1, x2, y2);
  if (x1 < 0 || y1 < 0 || x2 > width_ || y2 > length_)
    Note("the barcode (" + std::to_string(symbolWidth) + " x " + std::to_string(e.h) + " dots from " +
         std::to_string(x1) + "," + std::to_string(y1) + ") runs past the edge of the " + std::to_string(width_) +
         " x " + std::to_string(length_) + " dots label and is cut there");
  elements_.push_back(std::move(e));
  return true;
}

void EplPreview::Print(int copies) {
  Canvas& canvas = pictures_.StartLabel(width_, length_, options_.dotsPerInch);
  for (const Element& e : elements_) DrawElement(canvas, e, width_, length_, fromBottom_, options_.dotsPerInch);
  pictures_.EndLabel(copies);
  ++labels_;
}

}  // namespace imptherm
