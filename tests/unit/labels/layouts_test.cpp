#include "labels/layouts.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "unit/labels/label_files.h"

namespace imptherm {
namespace {

class LayoutTest : public ::testing::Test {
 protected:
  // Label `index` of a record file, its kind line replaced when asked.
  LabelRecord Label(const std::string& file, int index, const std::string& kind = "") {
    RecordLines record = testdata::Lines("labels/" + file);
    if (!kind.empty()) record[0] = kind;
    LabelRecord label;
    ReadRecordHeader(record, label);
    LoadLabelFields(record, label);
    DeriveLabelFields(label, index, "HEADER TEXT", false);
    return label;
  }
  fakes::FakeResources resources;
  LayoutCaptions captions = LoadLayoutCaptions(resources, 0);
};

TEST_F(LayoutTest, EachSharedKindDrawsItsOwnLines) {
  const std::pair<const char*, const char*> kinds[] = {{"{KAV", "kav_label.epl"}, {"{HOB", "hob_label.epl"},
                                                       {"{DUN", "dun_label.epl"}, {"{DN  ", "dun_label.epl"},
                                                       {"{J41", "j41_label.epl"}, {"{K63", "k63_label.epl"}};
  for (const auto& [kind, golden] : kinds) {
    EXPECT_EQ(RenderLayout(Label("shared_record.txt", 1, kind), captions),
              testdata::Epl("labels/" + std::string(golden)))
        << kind;
  }
}

TEST_F(LayoutTest, ZanDrawsItsOwnDesign) {
  EXPECT_EQ(RenderLayout(Label("zan_record.txt", 1), captions), testdata::Epl("labels/zan_label.epl"));
}

TEST_F(LayoutTest, LineCountsOfEveryLayout) {
  const std::pair<const char*, int> kinds[] = {{"{KAV", 58}, {"{HOB", 58}, {"{DUN", 52},
                                               {"{J41", 68}, {"{K63", 54}, {"{ZAN", 40}};
  for (const auto& [kind, count] : kinds) {
    LabelRecord label;
    label.RecordKind = kind;
    const std::string text = RenderLayout(label, captions);
    int lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, count) << kind;
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << kind;
  }
}

TEST_F(LayoutTest, KindsWithoutALayoutDrawNothing) {
  for (const char* kind : {"{KAV ", "{kav", "{XYZ", "", "{DN"}) {
    LabelRecord label;
    label.RecordKind = kind;
    EXPECT_EQ(RenderLayout(label, captions), "") << kind;
  }
}

TEST_F(LayoutTest, EmptyRecordPrintsEmptyQuotesAndItsDerivedFields) {
  RecordLines record{"{KAV", "3", "0", "000123", "12", "7"};
  LabelRecord label;
  ReadRecordHeader(record, label);
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "HDR", false);
  const std::string text = RenderLayout(label, captions);
  EXPECT_NE(text.find("A386,810,2,4,3,3,N,\"\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("A690,230,2,4,2,1,N,\"1 / 3\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("A817,650,1,1,1,1,N,\"HDR\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("B780,536,2,1,3,3,248,N,\"12    000123      01\"\r\n"), std::string::npos);
}

// A double quote would end the data early at the printer; backslashes stay
// as a server may have sent them.
TEST_F(LayoutTest, DoubleQuotesInTextsAndBarcodesAreEscaped) {
  struct Case {
    const char* kind;
    int field;
    const char* value;
    const char* line;  // expected, CR LF excluded
  };
  const Case cases[] = {
      {"{KAV", 0, "a\"b\\c},", "A386,810,2,4,3,3,N,\"a\\\"b\\c},\""},
      {"{KAV", 26, "x\"},y", "A470,095,2,3,1,2,N,\"x\\\"  y\""},
      {"{KAV", 23, " \"q\" ", "A470,170,2,3,1,1,N,\"\\\"q\\\"\""},
      {"{KAV", 30, "1\"", "A690,230,2,4,2,1,N,\"1\\\" / 1\""},
      {"{KAV", 32, "AB\"C", "B780,536,2,1,3,3,248,N,\"AB\\\"C\""},
      {"{ZAN", 21, "\"Z\"", "B780,510,2,1,3,3,200,B,\"\\\"Z\\\"\""},
      {"{ZAN", 6, "01\"23", "A620,565,2,1,1,2,N,\"01\\\"23\""},
  };
  for (const Case& c : cases) {
    LabelRecord label = Label(std::string(c.kind) == "{ZAN" ? "zan_record.txt" : "shared_record.txt", 1, c.kind);
    label.Fields[c.field] = c.value;
    EXPECT_NE(RenderLayout(label, captions).find(std::string(c.line) + "\r\n"), std::string::npos) << c.line;
  }
}

TEST_F(LayoutTest, ZanPrintsTelephoneUnfolded) {
  LabelRecord label = Label("zan_record.txt", 1);
  label.Fields[6] = "For\xEAt\tNo\xEBl";
  EXPECT_NE(RenderLayout(label, captions).find("A620,565,2,1,1,2,N,\"For\xEAt\tNo\xEBl\"\r\n"), std::string::npos);
  LabelRecord shared = Label("shared_record.txt", 1, "{KAV");
  shared.Fields[6] = "For\xEAt\tNo\xEBl";
  EXPECT_NE(RenderLayout(shared, captions).find("A800,602,2,2,2,2,N,\"ForetNoel\"\r\n"), std::string::npos);
}

TEST_F(LayoutTest, CaptionsComeFromTheChosenBankAndMissingOnesPrintEmpty) {
  class NoStrings final : public Resources {
   public:
    std::optional<std::string> LoadString(int id) override {
      if (id == 2011) return std::string("RECIPIENT");
      return std::nullopt;
    }
  } strings;
  const LayoutCaptions bank = LoadLayoutCaptions(strings, 2000);
  const std::string text = RenderLayout(Label("shared_record.txt", 1, "{KAV"), bank);
  EXPECT_NE(text.find("A020,050,1,2,1,1,N,\"RECIPIENT\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("A020,560,1,1,1,1,N,\"\"\r\n"), std::string::npos);
  EXPECT_EQ(LoadLayoutCaptions(resources, 3000)[14], "KG   :");
}

TEST(FoldAccentsTest, EveryLetterOfTheTableAndTheTwoPunctuationMarks) {
  EXPECT_EQ(FoldAccents("\xC9\xC8\xCA\xCB\xD4\xD6\xD2\xD3\xD5\xD9\xDB\xDC\xDA\xC0\xC1\xC2\xC3\xC4\xC5\xCC\xCD\xCE\xCF"
                        "\xD0\xD1\xDD\x9F\xC7"),
            "EEEEOOOOOUUUUAAAAAAIIIIDNYYC");
  EXPECT_EQ(FoldAccents("\xE9\xE8\xEA\xEB\xF2\xF3\xF4\xF5\xF6\xF9\xFA\xFB\xFC\xFD\xE0\xE1\xE2\xE3\xE4\xE5\xEC\xED\xEE"
                        "\xEF\xF1\xE7"),
            "eeeeooooouuuuyaaaaaaiiiinc");
  EXPECT_EQ(FoldAccents("a}b,c"), "a b c");
}

TEST(FoldAccentsTest, OtherCharactersStay) {
  const std::string kept = "\xFF\xC6\xE6\xD8\xF8\x8C\x9C\x80\x7F AZaz09!\"#{|~";
  EXPECT_EQ(FoldAccents(kept), kept);
}

TEST(FoldAccentsTest, SharpSInEitherFormButOnlyOneForm) {
  EXPECT_EQ(FoldAccents("Stra\xDF"
                        "e"),
            "StraSSe");
  EXPECT_EQ(FoldAccents("Stra\xC3\x9F"
                        "e"),
            "StraSSe");
  EXPECT_EQ(FoldAccents("\xDF\xC3\x9F"), "SSAY");
  EXPECT_EQ(FoldAccents("\xC3\x9F\xC3\x9F"), "SSSS");
}

TEST(FoldAccentsTest, ControlCharactersAreDroppedEvenInARow) {
  EXPECT_EQ(FoldAccents("a\x01\x02\tb\r\nc\x1F"), "abc");
  EXPECT_EQ(FoldAccents(std::string("x\0y", 3)), "xy");
}

TEST(FoldAccentsTest, AtMost255Characters) {
  EXPECT_EQ(FoldAccents(std::string(300, 'a')), std::string(255, 'a'));
  EXPECT_EQ(FoldAccents(std::string(254, 'a') + "\xDF"), std::string(254, 'a') + "S");
  // The cut comes before folding: a text past 255 loses its tail even when
  // folding would have shortened it.
  EXPECT_EQ(FoldAccents(std::string(250, '\x01') + std::string(10, 'b')), "bbbbb");
}

TEST(TrimFoldCutTest, TrimsFoldsThenCuts) {
  EXPECT_EQ(TrimFoldCut("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn", 27), "ABCDEFGHIJKLMNOPQRSTUVWXYZa");
  EXPECT_EQ(TrimFoldCut("      ", 27), "");
  EXPECT_EQ(TrimFoldCut("\t\x01 x\xE9 \r\n", 27), "xe");
  EXPECT_EQ(TrimFoldCut("abcd\xDF", 5), "abcdS");
  EXPECT_EQ(TrimFoldCut("", 5), "");
}

}  // namespace
}  // namespace imptherm
