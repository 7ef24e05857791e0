#include "retrieval/label_data.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fakes/fake_platform.h"
#include "retrieval/retrieval.h"
#include "run/module.h"

namespace imptherm {
namespace {

std::vector<std::string> All(const DataLines& lines) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < lines.size(); ++i) out.emplace_back(lines[i]);
  return out;
}

std::vector<std::string> Split(std::string_view text, std::size_t piece) {
  LineSplitter s;
  std::vector<std::string> lines;
  auto take = [&](std::string_view l) { lines.emplace_back(l); };
  bool open = true;
  for (std::size_t i = 0; i < text.size() && open; i += piece) open = s.Feed(text.substr(i, piece), take);
  if (open) s.Finish(take);
  return lines;
}

TEST(DataLinesTest, LinesReadInAnyOrderAreTheLinesPushed) {
  std::vector<std::string> pushed;
  DataLines lines;
  for (int i = 0; i < 300; ++i) {
    // Every length up to 40, each byte its own, so that a short line copied
    // in overlapping words shows any byte out of place.
    std::string line;
    for (int k = 0; k < i % 41; ++k) line += static_cast<char>('a' + (i + k) % 26);
    pushed.push_back(line);
    if (i % 50 == 7) pushed.back() = std::string(static_cast<std::size_t>(130 * i), '\n');  // long, any bytes
    lines.push_back(pushed.back());
  }
  // In order, backwards, the same line twice, jumps across the noted places.
  for (std::size_t i : {0, 1, 2, 299, 298, 63, 64, 64, 65, 157, 158, 128, 0, 207, 208})
    EXPECT_EQ(lines[i], pushed[i]) << "line " << i;
  EXPECT_EQ(All(lines), pushed);
}

TEST(LineSplitterTest, AllThreeLineEndsInAnyPiecesGiveTheSameLines) {
  const std::string text = "a\r\nb\nc\rd\r\r\ne\n\nf";
  const std::vector<std::string> expected{"a", "b", "c", "d", "", "e", "", "f"};
  for (std::size_t piece : {1u, 2u, 3u, 5u, 100u}) EXPECT_EQ(Split(text, piece), expected) << piece;
  // Long lines of accents, tabs and other control bytes, with their ends at
  // every place in a word of eight bytes.
  for (std::size_t shift = 0; shift < 8; ++shift) {
    const std::string first = std::string(shift, 'x') + "Caf\xE9 \xFF\x80\t\x1F\x7F\x1B end";
    const std::string longer = first + "\r\n0123456789abcdef\n0123456\r\n01234567\r\r\n";
    const std::vector<std::string> lines{first, "0123456789abcdef", "0123456", "01234567", ""};
    for (std::size_t piece : {1u, 8u, 100u}) EXPECT_EQ(Split(longer, piece), lines) << shift << " " << piece;
  }
}

TEST(LineSplitterTest, CtrlZEndsTheTextWherePiecesBreak) {
  for (std::size_t piece : {1u, 4u, 100u}) {
    EXPECT_EQ(Split("one\r\ntw\x1Ao\r\nthree", piece), (std::vector<std::string>{"one", "tw"}));
    EXPECT_EQ(Split("one\r\n\x1Atwo", piece), (std::vector<std::string>{"one"}));
  }
}

TEST(LineSplitterTest, LinesHaveNoLengthLimit) {
  std::string big(3 * 1024 * 1024, 'x');
  auto lines = Split(big + "\r\nend", 65536);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), big.size());
}

class LabelDataTest : public ::testing::Test {
 protected:
  LabelFileResult Read(const std::string& text) { return ReadLabelData(text); }
};

TEST_F(LabelDataTest, HeaderComesBackWithTheDataLinesInOrder) {
  auto r = Read("etiquettesbag\r\nA header text that is longer than thirty\r\nen\r\ny\r\n{KAV\r\n\r\nline 3\r\n");
  EXPECT_TRUE(r.accepted);
  EXPECT_TRUE(r.header.BaggageMode);
  EXPECT_EQ(r.header.HeaderText, "A header text that is longer t");
  EXPECT_EQ(r.header.LanguageCode, "EN");
  EXPECT_EQ(r.header.CaptionBase, 1000);
  EXPECT_TRUE(r.header.HeaderFlag);
  EXPECT_EQ(All(r.lines), (std::vector<std::string>{"{KAV", "", "line 3"}));
}

TEST_F(LabelDataTest, UnknownDocumentKindReadsNothing) {
  for (std::string first : {"ETIQUETTES \r\n", " ETIQUETTES\r\n", "FACTURES\r\n", "\r\n"}) {
    auto r = Read(first + "text\r\nEN\r\n{KAV\r\n");
    EXPECT_FALSE(r.accepted) << first;
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.header, LabelFileHeader{}) << first;
  }
}

TEST_F(LabelDataTest, LanguageCodesChooseTheCaptionBase) {
  struct Case {
    const char* line;
    const char* code;
    int base;
  } cases[] = {{"en", "EN", 1000}, {"ES", "ES", 2000}, {"it", "IT", 3000},
               {"FR", "FR", 0},    {"EN ", "EN ", 0},  {"", "", 0}};
  for (const Case& c : cases) {
    const LabelFileHeader header = Read(std::string("ETIQUETTES\r\nh\r\n") + c.line + "\r\n").header;
    EXPECT_EQ(header.LanguageCode, c.code);
    EXPECT_EQ(header.CaptionBase, c.base) << c.line;
  }
}

TEST_F(LabelDataTest, FourthLineIsTheFlagUnlessItIsEmptyOrARecord) {
  for (std::string flag : {"YES", "N"}) {
    auto r = Read("ETIQUETTES\r\nh\r\nFR\r\n" + flag + "\r\n{KAV\r\n");
    EXPECT_FALSE(r.header.HeaderFlag) << flag;
    EXPECT_EQ(All(r.lines), std::vector<std::string>{"{KAV"});
  }
  for (std::string fourth : {"{KAV", ""}) {
    auto r = Read("ETIQUETTES\r\nh\r\nFR\r\n" + fourth + "\r\nnext\r\n");
    EXPECT_FALSE(r.header.HeaderFlag) << fourth;
    EXPECT_EQ(All(r.lines), (std::vector<std::string>{fourth, "next"}));
  }
}

TEST_F(LabelDataTest, ShortFilesSetWhatTheyHold) {
  auto r = Read("ETIQUETTESBAG\r\nnew");
  EXPECT_FALSE(r.accepted);
  EXPECT_TRUE(r.header.BaggageMode);
  EXPECT_EQ(r.header.HeaderText, "new");
  EXPECT_EQ(r.header.LanguageCode, "FRF");
  r = Read("ETIQUETTES\r\nh\r\nIT\r\n");
  EXPECT_TRUE(r.accepted);  // a whole header and no data: nothing to print
  EXPECT_TRUE(r.lines.empty());
}

TEST_F(LabelDataTest, CtrlZInTheDataEndsTheList) {
  auto r = Read(
      "ETIQUETTES\r\nh\r\nFR\r\n{KAV\r\na\r\nb\x1A"
      "c\r\nd\r\n");
  EXPECT_EQ(All(r.lines), (std::vector<std::string>{"{KAV", "a", "b"}));
}

TEST_F(LabelDataTest, FileIsReadInBlocksWithTheSameResult) {
  fakes::TempDir dir;
  std::string text = "ETIQUETTES\nh\rFR\r\n";
  for (int i = 0; i < 20000; ++i)
    text += "{KAV line " + std::to_string(i) + (i % 3 == 0 ? "\r" : i % 3 == 1 ? "\n" : "\r\n");
  dir.Write("data.txt", text);
  auto a = ReadLabelDataFile(dir.path() + "data.txt");
  auto b = Read(text);
  EXPECT_EQ(a.lines.size(), 20000u);
  EXPECT_EQ(All(a.lines), All(b.lines));
  EXPECT_EQ(a.header, b.header);
  EXPECT_THROW(ReadLabelDataFile(dir.path() + "missing.txt"), PlatformError);
}

// Lines cut as they are read are the lines cut at once, whatever is asked
// first, with line ends, a long line and Ctrl-Z on and around the places
// where one block of cutting ends and the next begins.
TEST_F(LabelDataTest, LinesCutAsTheyAreReadAreTheLinesCutAtOnce) {
  const std::string header = "ETIQUETTES\r\nh\r\nFR\r\nN\r\n";
  std::vector<std::string> texts;
  // Shifted by every length a line has there, a line end falls on each
  // place around the end of a block in one of the texts.
  for (std::size_t shift = 0; shift < 16; ++shift) {
    std::string text = header + std::string(shift, 'x');
    for (int i = 0; text.size() < 2 * 65536 + 8192; ++i) text += "{KAV " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
    texts.push_back(text + std::string(70000, 'L') + "\r\r\nlast");
    texts.push_back(text + "cut\x1A\r\nafter");
    if (shift < 2) {  // a last line longer than a block, ended and not
      texts.push_back(text + std::string(70000, 'L') + "\r\n");
      texts.push_back(text + std::string(70000, 'L'));
    }
  }
  texts.push_back(header);
  texts.push_back(header.substr(0, 20));
  for (const std::string& text : texts) {
    const LabelFileResult whole = Read(text);
    const std::vector<std::string> expected = All(whole.lines);
    for (int order = 0; order < 3; ++order) {
      LargeBuffer buffer(text.size());
      std::memcpy(buffer.data(), text.data(), text.size());
      const LabelFileResult lazy = ReadLabelDataLazily(std::move(buffer), text.size());
      ASSERT_EQ(lazy.accepted, whole.accepted);
      EXPECT_EQ(lazy.header, whole.header);
      std::vector<std::string> got;
      if (order == 0) {  // in order, as the grouping reads them
        for (std::size_t i = 0; lazy.lines.Reaches(i); ++i) got.emplace_back(lazy.lines[i]);
      } else if (order == 1) {  // the last line first
        if (!expected.empty()) {
          EXPECT_EQ(lazy.lines[expected.size() - 1], expected.back());
        }
        got = All(lazy.lines);
      } else {  // a copy, then the lines of the copy
        const DataLines copy = lazy.lines;
        got = All(copy);
      }
      EXPECT_EQ(got, expected) << "order " << order << ", " << text.size() << " bytes";
    }
  }
}

class DownloadTest : public ::testing::Test {
 protected:
  DownloadTest() : module(f.platform), retrieval(module.platform, module.state, module.runLog) {}
  fakes::FakePlatform f;
  Module module;
  Retrieval retrieval;
  fakes::FakeMemo memo;
};

TEST_F(DownloadTest, FetchesIntoTheTempFolderWithThePageCookie) {
  const std::string body = "ETIQUETTES\r\nh\r\nFR\r\n{KAV\r\n1\r\n";
  f.network.replies.push_back(
      {"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body});
  LabelData data = retrieval.DownloadLabelData("srv/get", "ASP=1", memo);
  EXPECT_TRUE(data.downloaded);
  EXPECT_EQ(All(data.lines), (std::vector<std::string>{"{KAV", "1"}));
  EXPECT_EQ(data.header.HeaderText, "h");
  EXPECT_EQ(module.runLog.workFolder(), f.temp.path());
  EXPECT_EQ(f.temp.Read("DataThermOrvane.txt"), body);
  ASSERT_EQ(f.network.requests.size(), 1u);
  EXPECT_NE(f.network.requests[0].find("\r\nCookie: ASP=1\r\n"), std::string::npos);
}

TEST_F(DownloadTest, AnyStatusButTwoHundredIsAFailedDownloadThatReadsNothing) {
  const std::string body = "ETIQUETTES\r\nafter\r\nEN\r\n{KAV\r\n";
  for (std::string status : {"206 Partial Content", "302 Found"}) {
    f.network.replies.push_back(
        {"HTTP/1.0 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body});
  }
  for (int i = 0; i < 15; ++i) f.network.replies.push_back({"HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n" + body});
  EXPECT_FALSE(retrieval.DownloadLabelData("http://srv/a", "", memo).downloaded);  // 206
  LabelData data = retrieval.DownloadLabelData("http://srv/a", "", memo);          // 15 redirects: 302
  EXPECT_FALSE(data.downloaded);
  EXPECT_TRUE(data.lines.empty());
  EXPECT_EQ(data.header, LabelFileHeader{});
}

TEST_F(DownloadTest, RefusedHeaderIsAFailedDownload) {
  f.network.replies.push_back({"HTTP/1.0 200 OK\r\n\r\n<html>error page</html>\r\n"});
  LabelData data = retrieval.DownloadLabelData("http://srv/a", "", memo);
  EXPECT_FALSE(data.downloaded);
  EXPECT_TRUE(data.lines.empty());
}

}  // namespace
}  // namespace imptherm
