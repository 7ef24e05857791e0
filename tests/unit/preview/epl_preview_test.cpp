// Known answers: small EPL2 jobs whose pixels follow by hand from the
// command definitions (fields turned clockwise about their origin; font 1
// a cell of 8 x 12 dots and font 2 of 10 x 16 at 203 dpi; Code 128 start C
// is bars and spaces of 2 1 1 2 3 2 modules), compared pixel for pixel in a
// window of the label drawn by cairo into a PNG.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cctype>

#include "fakes/fake_platform.h"
#include "platform/posix/cairo_documents.h"
#include "preview/epl_preview.h"

namespace imptherm {
namespace {

struct Box {
  int x1, y1, x2, y2;
};

struct KnownAnswer {
  const char* name;
  const char* job;  // after "q40", "Q30,0", "N" (lines 1 to 3)
  Box window;
  std::vector<Box> black;  // a pixel is black when an odd number of boxes hold it
  std::vector<std::size_t> noteLines = {};
};

const KnownAnswer kAnswers[] = {
    {"box", "X2,3,2,12,10", {0, 0, 40, 30}, {{2, 3, 12, 5}, {2, 8, 12, 10}, {2, 5, 4, 8}, {10, 5, 12, 8}}},
    {"line", "LO5,6,10,3", {0, 0, 40, 30}, {{5, 6, 15, 9}}},
    {"white line", "LO0,0,10,10\nLW2,2,3,3", {0, 0, 40, 30}, {{0, 0, 10, 10}, {2, 2, 5, 5}}},
    {"exclusive line", "LO0,0,10,10\nLE5,5,10,10", {0, 0, 40, 30}, {{0, 0, 10, 10}, {5, 5, 15, 15}}},
    {"reversed blank", "A2,2,0,1,1,1,R,\" \"", {0, 0, 40, 30}, {{2, 2, 10, 14}}},
    {"reversed, multiplied", "A1,1,0,2,2,1,R,\" \"", {0, 0, 40, 30}, {{1, 1, 21, 17}}},
    {"text turned 90", "A20,4,1,1,1,1,R,\"  \"", {0, 0, 40, 30}, {{8, 4, 20, 20}}},
    {"text turned 180", "A20,20,2,1,1,1,R,\"  \"", {0, 0, 40, 30}, {{4, 8, 20, 20}}},
    {"barcode's first bars",
     "B2,2,0,1C,2,4,10,N,\"00\"",
     {0, 0, 24, 30},
     {{2, 2, 6, 12}, {8, 2, 10, 12}, {14, 2, 20, 12}},
     {4}},
    {"barcode turned 180",
     "B30,20,2,1C,2,4,10,N,\"00\"",
     {10, 0, 40, 30},
     {{26, 10, 30, 20}, {22, 10, 24, 20}, {12, 10, 18, 20}},
     {4}},
    {"reference point", "R5,5\nLO0,0,2,2", {0, 0, 40, 30}, {{5, 5, 7, 7}}},
    {"printed from the bottom", "ZB\nLO0,0,4,2", {0, 0, 40, 30}, {{36, 28, 40, 30}}},
    {"unknown and malformed lines", "GW1,2\nA1,2\nLO0,0,2,2", {0, 0, 40, 30}, {{0, 0, 2, 2}}, {4, 5}},
    {"label wider than the head", "q5000\nLO0,0,2,2", {0, 0, 40, 30}, {{0, 0, 2, 2}}, {4}},
};

// The pixels of the window that are not as the boxes say, as " (x,y)".
std::string WrongPixels(const std::string& png, Box window, const std::vector<Box>& black) {
  cairo_surface_t* picture = cairo_image_surface_create_from_png(png.c_str());
  if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(picture);
    return "no picture " + png;
  }
  const unsigned char* data = cairo_image_surface_get_data(picture);
  const int stride = cairo_image_surface_get_stride(picture);
  std::string wrong;
  for (int y = window.y1; y < window.y2; ++y)
    for (int x = window.x1; x < window.x2; ++x) {
      bool dark = false;
      for (const Box& b : black) dark ^= x >= b.x1 && x < b.x2 && y >= b.y1 && y < b.y2;
      const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x] & 0xffffff;
      if (pixel != (dark ? 0u : 0xffffffu)) wrong += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
    }
  cairo_surface_destroy(picture);
  return wrong;
}

class KnownAnswerTest : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(KnownAnswerTest, PixelForPixel) {
  const KnownAnswer& a = GetParam();
  fakes::TempDir temp;
  std::unique_ptr<LabelPictures> pictures = posix::OpenLabelPngFolder(temp.path());
  EplPreview preview(*pictures, {203, 0, 0});
  preview.Write(std::string("q40\r\nQ30,0\r\nN\r\n") + a.job + "\nP\n");
  pictures->Finish();
  ASSERT_EQ(preview.labels(), 1);
  std::vector<std::size_t> noteLines;
  for (const PreviewNote& n : preview.notes()) noteLines.push_back(n.line);
  EXPECT_EQ(noteLines, a.noteLines);

  cairo_surface_t* png = cairo_image_surface_create_from_png((temp.path() + "label-0001.png").c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(png), 40);
  ASSERT_EQ(cairo_image_surface_get_height(png), 30);
  cairo_surface_destroy(png);
  EXPECT_EQ(WrongPixels(temp.path() + "label-0001.png", a.window, a.black), "") << a.name;
}

// A label much like the one before it: the rows it shares with it are
// written as they were, the others as they are now.
TEST(LabelPngTest, LabelLikeTheOneBefore) {
  fakes::TempDir temp;
  std::unique_ptr<LabelPictures> pictures = posix::OpenLabelPngFolder(temp.path());
  EplPreview preview(*pictures, {203, 0, 0});
  preview.Write(
      "q40\nQ30,0\nN\nLO0,0,40,30\nLW2,2,36,26\nLO5,5,30,3\nP\nN\nLO0,0,40,30\nLW2,2,36,26\nLO5,5,30,3\n"
      "LE10,20,3,4\nP\n");
  pictures->Finish();
  const std::vector<Box> frame = {{0, 0, 40, 30}, {2, 2, 38, 28}, {5, 5, 35, 8}};
  std::vector<Box> second = frame;
  second.push_back({10, 20, 13, 24});
  EXPECT_EQ(WrongPixels(temp.path() + "label-0001.png", {0, 0, 40, 30}, frame), "");
  EXPECT_EQ(WrongPixels(temp.path() + "label-0002.png", {0, 0, 40, 30}, second), "");
}

INSTANTIATE_TEST_SUITE_P(Epl, KnownAnswerTest, ::testing::ValuesIn(kAnswers),
                         [](const ::testing::TestParamInfo<KnownAnswer>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// Code 128 as a printer encodes it: the fewest symbol characters by the
// minimising rules, whatever the sheet's encoder does. Widths in modules
// (11 per symbol character, 13 for the stop); those of type 1 are zint's
// (-b 20 --dump), those that name their start subset follow by hand.
TEST(EplCode128Test, SymbolWidthsAsAPrinterEncodes) {
  const struct {
    const char* type;
    std::string data;
    int modules;
  } cases[] = {
      {"1", "  103 270492DEX   01", 244},  // B, C for the six digits, B
      {"1", "12", 46},
      {"1", "123", 68},
      {"1", "1234", 57},
      {"1", "12345", 79},
      {"1", "AB", 57},
      {"1", "AB1234", 90},
      {"1", "AB12345", 101},
      {"1", "AB123456C", 123},
      {"1", "AB1234567C", 134},
      {"1", "12AB", 79},
      {"1", "12345AB", 101},
      {"1", "X12345678901234567", 156},
      {"1", "20 12345 1234", 167},
      {"1", "ab12cd", 101},
      {"1",
       "a\x01"
       "b",
       79},  // SHIFT
      {"1",
       "ab\x01"
       "cd",
       101},  // SHIFT
      {"1",
       "\x01\x02"
       "ab",
       90},                // A, then B
      {"1C", "AB", 68},    // C, CODE B
      {"1B", "1234", 68},  // B, CODE C: four digits at the end
      {"1A", "ab", 68},    // A, CODE B
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.data);
    fakes::TempDir temp;
    std::unique_ptr<LabelPictures> pictures = posix::OpenLabelPngFolder(temp.path());
    EplPreview preview(*pictures, {203, 0, 0});
    // One dot a module: the last bar of the stop character ends the symbol.
    preview.Write(std::string("q400\nQ20,0\nN\nB0,0,0,") + c.type + ",1,2,10,N,\"" + c.data + "\"\nP\n");
    pictures->Finish();
    EXPECT_TRUE(preview.notes().empty()) << preview.notes()[0].text;
    cairo_surface_t* png = cairo_image_surface_create_from_png((temp.path() + "label-0001.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(png) +
                                                             5 * cairo_image_surface_get_stride(png));
    int end = 0;
    for (int x = 0; x < cairo_image_surface_get_width(png); ++x)
      if ((row[x] & 0xffffff) == 0) end = x + 1;
    cairo_surface_destroy(png);
    EXPECT_EQ(end, c.modules);
  }
}

// A note quotes bytes of the job; its control bytes, NUL and the 8-bit ones
// a terminal obeys included, come out as codes, and nothing cuts it short.
TEST(EplNotesTest, ControlBytesOfTheJobShowAsCodes) {
  const struct {
    std::string line, note;
  } cases[] = {
      {"\x1b[2J", "unknown command \\x1b, not drawn"},
      {"\x9b"
       "31m",
       "unknown command \\x9b, not drawn"},
      {std::string("\0Z", 2), "unknown command \\x00, not drawn"},
      {"B0,0,0,\x1b\x7f,2,4,10,N,\"1\"", "barcode type \\x1b\\x7f is not drawn by the preview"},
  };
  for (const auto& c : cases) {
    fakes::TempDir temp;
    std::unique_ptr<LabelPictures> pictures = posix::OpenLabelPngFolder(temp.path());
    EplPreview preview(*pictures, {203, 0, 0});
    preview.Write(c.line + "\r\n");
    ASSERT_EQ(preview.notes().size(), 1u) << c.note;
    EXPECT_EQ(preview.notes()[0].text, c.note);
  }
}

// The configuration's I8,1 selects code page 850: the bytes of a Windows-1252
// "été" print as "Ú" and "t"; box drawing has no Windows-1252 character.
TEST(Cp850Test, PrinterCharactersAsWindows1252) {
  EXPECT_EQ(Cp850ToCp1252("\x82t\x82 \xE9 \x9F \xC4 A"), "\xE9t\xE9 \xDA \x83 ? A");
}

}  // namespace
}  // namespace imptherm
