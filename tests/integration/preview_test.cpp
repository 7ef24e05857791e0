// The layouts' labels drawn by `impthermorvane preview` and read back by the
// real decoders: zbarimg for the barcode, pdftotext -bbox for the texts.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string_view>

#include "fakes/fake_platform.h"
#include "integration/page_probe.h"
#include "integration/support/run_program.h"
#include "unit/barcode/published_barcodes.h"

namespace imptherm {
namespace {
namespace fs = std::filesystem;

const std::string kConfiguration = "N\r\nS3\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,24\r\n";
const std::string kCopyBlock = "LS800,090,20,10,270\r\nLS800,560,20,10,740\r\nP2\r\n";

struct Word {
  int page;
  double x1, y1, x2, y2;
  std::string text;
};

std::vector<Word> PdfWords(const std::string& pdf) {
  std::vector<Word> words;
  const std::string html = Shell("pdftotext -bbox '" + pdf + "' - 2>/dev/null");
  static const std::regex word(
      R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  int page = 0;
  for (std::sregex_iterator m(html.begin(), html.end(), word), end; m != end; ++m) {
    if ((*m)[1].length() == 0) {
      ++page;
      continue;
    }
    std::string text = (*m)[5];
    for (auto [from, to] : {std::pair{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}})
      for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, std::strlen(from), to);
    words.push_back({page, std::stod((*m)[1]), std::stod((*m)[2]), std::stod((*m)[3]), std::stod((*m)[4]), text});
  }
  return words;
}

// The first word of an A line's text starts at the line's origin, the
// corner that the rotation turns: so its first character's cell does too.
bool FoundAt(const std::vector<Word>& words, int page, const std::string& first, int x, int y, int turns,
             double pointsPerDot) {
  const double tolerance = 2 * pointsPerDot;
  for (const Word& w : words) {
    if (w.page != page) continue;
    // A word cut by the label's edge keeps its first characters.
    const std::size_t at = first.starts_with(w.text) ? 0 : w.text.find(first);
    if (at == std::string::npos) continue;
    const bool across = turns % 2 == 0;
    const double advance = ((across ? w.x2 - w.x1 : w.y2 - w.y1) / static_cast<double>(w.text.size())) * at;
    double cx = 0, cy = 0;
    switch (turns) {
      case 0: cx = w.x1 + advance, cy = w.y1; break;
      case 1: cx = w.x2, cy = w.y1 + advance; break;
      case 2: cx = w.x2 - advance, cy = w.y2; break;
      default: cx = w.x1, cy = w.y2 - advance; break;
    }
    if (std::abs(cx - x * pointsPerDot) <= tolerance && std::abs(cy - y * pointsPerDot) <= tolerance) return true;
  }
  return false;
}

// The colour of a pixel as 0xRRGGBB; -1 when the picture cannot be read.
long ColourAt(const std::string& png, int x, int y) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(png.c_str());
  long colour = -1;
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    colour = reinterpret_cast<const std::uint32_t*>(row)[x] & 0xffffff;
  }
  cairo_surface_destroy(s);
  return colour;
}

bool BlackAt(const std::string& png, int x, int y) { return ColourAt(png, x, y) == 0; }

// Whether the whole text lies on the label: the font cells of the printer's
// fonts 1 to 5, at 203 and 300 dpi, turned about the origin.
bool OnLabel(const std::smatch& a, int dpi, int width, int length) {
  static const int cells[2][5][2] = {{{8, 12}, {10, 16}, {12, 20}, {14, 24}, {32, 48}},
                                     {{12, 20}, {16, 28}, {20, 36}, {24, 44}, {48, 80}}};
  const int x = std::stoi(a[1]), y = std::stoi(a[2]), turns = std::stoi(a[3]), font = std::stoi(a[4]);
  const int* cell = cells[dpi == 300][font - 1];
  const int w = cell[0] * std::stoi(a[5]) * static_cast<int>(a[7].length()), h = cell[1] * std::stoi(a[6]);
  const int dx[4][2] = {{0, w}, {-h, 0}, {-w, 0}, {0, h}}, dy[4][2] = {{0, h}, {0, w}, {-h, 0}, {-w, 0}};
  return x + dx[turns][0] >= 0 && x + dx[turns][1] <= width && y + dy[turns][0] >= 0 && y + dy[turns][1] <= length;
}

struct LayoutCase {
  const char* file;
  bool copyBlock;
  // The case's barcode data (letters in its groups) is wider than the label
  // at the layout's narrow bar: the printer cuts it, and the preview says so.
  bool barcodeCut = false;
};

class PreviewLayoutTest : public ::testing::TestWithParam<std::tuple<LayoutCase, int>> {};

TEST_P(PreviewLayoutTest, BarcodeAndTextsWhereTheLayoutPutsThem) {
  const auto [layout, dpi] = GetParam();
  const std::string lines = fakes::ReadFile(std::string(IMPTHERM_TEST_DATA) + "/labels/" + layout.file);
  fakes::TempDir temp;
  temp.Write("job.epl", kConfiguration + "N\r\n" + lines + "P\r\n" + (layout.copyBlock ? kCopyBlock : ""));
  const std::string job = temp.path() + "job.epl", pdf = temp.path() + "labels.pdf";
  const std::string dots = std::to_string(dpi);
  ASSERT_EQ(testing::RunProgram({"preview", job, "--dpi", dots, "-o", pdf}, {}).exitStatus, layout.barcodeCut ? 7 : 0);
  const testing::ProgramResult png =
      testing::RunProgram({"preview", job, "--dpi", dots, "-o", temp.path() + "png/"}, {});
  ASSERT_EQ(png.exitStatus, layout.barcodeCut ? 7 : 0) << png.err;
  EXPECT_EQ(png.err.find("runs past the edge") != std::string::npos, layout.barcodeCut) << png.err;
  std::vector<std::string> pictures = {temp.path() + "png/label-0001.png"};
  if (layout.copyBlock) pictures.push_back(temp.path() + "png/label-0002-x2.png");

  static const std::regex aLine(R"re(A(\d+),(\d+),(\d),(\d),(\d),(\d),[NR],"([^\r\n]*)"\r?\n)re");
  static const std::regex bLine(R"re(B\d+,\d+,\d,1,\d,\d,\d+,[NB],"([^\r\n]*)"\r?\n)re");
  const std::vector<Word> words = PdfWords(pdf);
  for (int page = 1; page <= static_cast<int>(pictures.size()); ++page) {
    const std::string& picture = pictures[page - 1];
    ASSERT_TRUE(fs::exists(picture)) << picture;
    int texts = 0;
    for (std::sregex_iterator m(lines.begin(), lines.end(), aLine), end; m != end; ++m) {
      const std::string data = (*m)[7];
      if (data.empty() || data[0] == ' ' || !OnLabel(*m, dpi, dpi == 300 ? 1248 : 832, 1080)) continue;
      const std::string first = data.substr(0, data.find(' '));
      EXPECT_TRUE(FoundAt(words, page, first, std::stoi((*m)[1]), std::stoi((*m)[2]), std::stoi((*m)[3]), 72.0 / dpi))
          << layout.file << " page " << page << ": " << (*m)[0];
      ++texts;
    }
    EXPECT_GT(texts, 20);
    std::smatch b;
    ASSERT_TRUE(std::regex_search(lines, b, bLine));
    if (!layout.barcodeCut) {
      EXPECT_EQ(Shell("zbarimg -q --raw '" + picture + "' 2>/dev/null"), b[1].str() + "\n") << picture;
    }
  }
  if (layout.copyBlock) {
    // The copies carry the two slanted bars; the label printed first does not.
    EXPECT_FALSE(BlackAt(pictures[0], 405, 190));
    EXPECT_TRUE(BlackAt(pictures[1], 405, 190));
    EXPECT_TRUE(
        std::any_of(words.begin(), words.end(), [](const Word& w) { return w.page == 2 && w.text == "copies"; }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PreviewLayoutTest,
    ::testing::Combine(::testing::Values(LayoutCase{"kav_label.epl", false}, LayoutCase{"hob_label.epl", false},
                                         LayoutCase{"dun_label.epl", false}, LayoutCase{"j41_label.epl", false},
                                         LayoutCase{"k63_label.epl", false}, LayoutCase{"zan_label.epl", false, true},
                                         LayoutCase{"k63_label.epl", true}),
                       ::testing::Values(203, 300)),
    [](const auto& info) {
      const LayoutCase& c = std::get<0>(info.param);
      std::string name(c.file, std::string_view(c.file).find('_'));
      return name + (c.copyBlock ? "_copies_" : "_") + std::to_string(std::get<1>(info.param)) + "dpi";
    });

// Barcodes turned every way are drawn into the PDF as pictures of their
// bars (a row, or a column when turned a quarter): pdftoppm renders the
// page and zbarimg reads every one of them. Twice the printer's resolution:
// at the same one, points rounded back to pixels leave bars a pixel off.
TEST(PreviewPdfTest, BarcodesTurnedEveryWayAreRead) {
  const struct {
    int turns;
    const char* at;
  } cases[] = {{0, "40,40"}, {1, "400,40"}, {2, "600,400"}, {3, "40,600"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.turns);
    fakes::TempDir temp;
    const std::string data = "TURN" + std::to_string(c.turns) + "-0123456789-abc";
    temp.Write("job.epl", "q832\r\nQ700,24\r\nN\r\nB" + std::string(c.at) + "," + std::to_string(c.turns) +
                              ",1,2,4,200,N,\"" + data + "\"\r\nP\r\n");
    const testing::ProgramResult r =
        testing::RunProgram({"preview", temp.path() + "job.epl", "-o", temp.path() + "job.pdf"}, {});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Shell("pdftoppm -r 406 -mono -png '" + temp.path() + "job.pdf' '" + temp.path() + "page'");
    EXPECT_EQ(Shell("zbarimg -q --raw '" + temp.path() + "page-1.png' 2>/dev/null"), data + "\n");
  }
}

// Every symbology's published examples drawn by the preview, two dots a
// narrow element, and read back by zbarimg, which names the symbology too.
TEST(PreviewBarcodeTest, PublishedExamplesAreReadBack) {
  for (const PublishedBarcode& b : kPublishedBarcodes) {
    if (!b.readable) continue;
    SCOPED_TRACE(std::string(b.type) + " " + b.data);
    fakes::TempDir temp;
    temp.Write("job.epl",
               "q832\r\nQ240,24\r\nN\r\nB40,40,0," + std::string(b.type) + ",2,5,160,N,\"" + b.data + "\"\r\nP\r\n");
    const testing::ProgramResult r =
        testing::RunProgram({"preview", temp.path() + "job.epl", "-o", temp.path() + "png/"}, {});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string png = temp.path() + "png/label-0001.png";
    EXPECT_EQ(Shell("zbarimg -q " + std::string(b.zbarOptions) + " '" + png + "' 2>/dev/null"),
              std::string(b.zbarReads) + "\n");
  }
}

// Three labels, black, blank and black again (printed twice), on a sheet of
// two by two places: each where the grid puts it, the fourth place empty.
TEST(PreviewCommandTest, ContactSheetHoldsEveryLabelInItsPlace) {
  fakes::TempDir temp;
  temp.Write("job.epl", "N\r\nq406\r\nQ203,24\r\nLO0,0,406,203\r\nP1\r\nN\r\nP1\r\nN\r\nLO0,0,406,203\r\nP2\r\n");
  const std::string sheet = temp.path() + "sheet.png";
  testing::ProgramResult r = testing::RunProgram(
      {"preview", temp.path() + "job.epl", "-o", temp.path() + "png/", "--contact-sheet", sheet}, {});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find("contact sheet of 3 labels: " + sheet), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(temp.path() + "png/label-0003-x2.png"));
  cairo_surface_t* s = cairo_image_surface_create_from_png(sheet.c_str());
  const int width = cairo_image_surface_get_width(s), height = cairo_image_surface_get_height(s);
  cairo_surface_destroy(s);
  // Labels of 2 x 1 inches at 100 pixels an inch, with room for a caption.
  ASSERT_GT(width, 400);
  ASSERT_GT(height, 200);
  EXPECT_EQ(ColourAt(sheet, width / 4, height / 4), 0x000000);
  EXPECT_EQ(ColourAt(sheet, width * 3 / 4, height / 4), 0xffffff);
  EXPECT_EQ(ColourAt(sheet, width / 4, height * 3 / 4), 0x000000);
  const long empty = ColourAt(sheet, width * 3 / 4, height * 3 / 4);
  EXPECT_NE(empty, 0x000000);
  EXPECT_NE(empty, 0xffffff);
  // The sheet is drawn from the PNG pictures, not from a PDF.
  r = testing::RunProgram({"preview", temp.path() + "job.epl", "-o", temp.path() + "out.pdf", "--contact-sheet", sheet},
                          {});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("--contact-sheet goes with -o FOLDER/"), std::string::npos) << r.err;
}

// Outputs that would destroy what they should not, and jobs that are not
// jobs: refused with a message before anything is written, the file that
// was at stake left as it was.
TEST(PreviewCommandTest, RefusesOutputsThatAreNotItsOwnFiles) {
  const std::string kJob = "N\r\nLO0,0,10,10\r\nP\r\n", kKept = "kept as it was";
  const struct {
    const char* what;
    std::function<void(const std::string&)> plant;  // in the temp folder
    std::string job, out;                           // names in the temp folder
    int exitStatus;
    std::string message;  // after the temp folder's path
    std::string kept;     // the file that must keep its bytes
  } cases[] = {
      {"output is the job", [](const std::string&) {}, "job.epl", "job.epl", 6, "job.epl: it is the file being read",
       "job.epl"},
      {"output is the job under another name",
       [](const std::string& d) { fs::create_directory_symlink(d, d + "here"); }, "job.epl", "here/job.epl", 6,
       "here/job.epl: it is the file being read", "job.epl"},
      {"job in the output folder",
       [&](const std::string& d) {
         fs::create_directory(d + "png");
         std::ofstream(d + "png/label-0001.png") << kJob;
       },
       "png/label-0001.png", "png/", 6, "png/label-0001.png: it is the file being read", "png/label-0001.png"},
      {"job is a folder", [](const std::string& d) { fs::create_directory(d + "folder"); }, "folder", "out.pdf", 1,
       "folder: it is a folder, not a job file", "job.epl"},
      {"link planted in the output folder",
       [&](const std::string& d) {
         fs::create_directory(d + "png");
         std::ofstream(d + "target") << kKept;
         fs::create_symlink(d + "target", d + "png/label-0001.png");
       },
       "job.epl", "png/", 6, "png/label-0001.png: it is a symbolic link", "target"},
      {"output is a link",
       [&](const std::string& d) {
         std::ofstream(d + "target") << kKept;
         fs::create_symlink(d + "target", d + "link.pdf");
       },
       "job.epl", "link.pdf", 6, "link.pdf: it is a symbolic link", "target"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fakes::TempDir temp;
    temp.Write("job.epl", kJob);
    c.plant(temp.path());
    const std::string before = fakes::ReadFile(temp.path() + c.kept);
    const testing::ProgramResult r =
        testing::RunProgram({"preview", temp.path() + c.job, "-o", temp.path() + c.out}, {});
    EXPECT_EQ(r.exitStatus, c.exitStatus) << r.out << r.err;
    EXPECT_NE(r.err.find(temp.path() + c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("labels drawn"), std::string::npos) << r.out;
    EXPECT_EQ(fakes::ReadFile(temp.path() + c.kept), before);
  }
}

}  // namespace
}  // namespace imptherm
