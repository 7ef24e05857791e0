#include "common/label_record.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace imptherm {
namespace {

DataLines Lines(std::initializer_list<std::string_view> lines) {
  DataLines out;
  for (std::string_view l : lines) out.push_back(l);
  return out;
}

RecordLines Header(const std::string& kind, const std::string& parcels = "1", const std::string& pallets = "0",
                   const std::string& prefix = "12") {
  return {kind, parcels, pallets, "000123", prefix, "7"};
}

TEST(GroupRecordLinesTest, CutsRecordsBetweenBraceLinesAndSkipsWhatComesBefore) {
  const DataLines lines = Lines({"junk", "", "{KAV", "1", "} ", "}", "x", "{ZAN", "2", "}"});
  RecordLines record;
  std::size_t next = GroupRecordLines(lines, 0, record);
  EXPECT_EQ(next, 6u);
  EXPECT_EQ(record, (RecordLines{"{KAV", "1", "} "}));
  next = GroupRecordLines(lines, next, record);
  EXPECT_EQ(next, 10u);
  EXPECT_EQ(record, (RecordLines{"{ZAN", "2"}));
  next = GroupRecordLines(lines, next, record);
  EXPECT_EQ(next, 11u);
  EXPECT_TRUE(record.empty());
}

TEST(GroupRecordLinesTest, MissingClosingLineRunsToTheEndAndEndsTheWalk) {
  const DataLines lines = Lines({"{K63", "1", "0"});
  RecordLines record{"stale"};
  EXPECT_EQ(GroupRecordLines(lines, 0, record), 4u);
  EXPECT_EQ(record, (RecordLines{"{K63", "1", "0"}));
  EXPECT_EQ(GroupRecordLines(lines, 3, record), 4u);
  EXPECT_TRUE(record.empty());
}

TEST(GroupRecordLinesTest, PastThePlacedLinesOnlyTheLastLineOfEachCodeIsKept) {
  // A record as the file has it: placed lines with empty ones among them,
  // then a hundred thousand empty lines around field lines that repeat their codes.
  RecordLines whole = Header("{KAV");
  for (int n = 6; n < 14; ++n) whole.push_back(n % 2 ? "" : "bag " + std::to_string(n));
  for (const char* l : {"UM one", "UG two", "", "05early", "09", "AB"}) whole.push_back(l);
  while (whole.size() < kPlacedRecordLines) whole.emplace_back();
  const std::vector<std::string> fields = {"00first", "",        "32 12", "00second", "no code",
                                           "39 9999", "40 none", "3712",  "05late",   "32045"};
  for (int n = 0; n < 100000; ++n) whole.push_back(n % 10000 ? "" : fields[n / 10000]);
  DataLines lines = Lines({"before", "{KAV"});
  for (std::size_t i = 1; i < whole.size(); ++i) lines.push_back(whole[i]);
  lines.push_back("}");

  RecordLines record;
  EXPECT_EQ(GroupRecordLines(lines, 0, record), lines.size());
  // The placed lines, then 00, 32, 39, 37 and 05 once each.
  ASSERT_EQ(record.size(), kPlacedRecordLines + 5);
  EXPECT_TRUE(std::equal(record.begin(), record.begin() + kPlacedRecordLines, whole.begin()));
  // Every reader of the record finds what it would in the whole record.
  for (std::size_t first : {std::size_t{6}, std::size_t{14}, std::size_t{16}, std::size_t{29}}) {
    LabelRecord kept, all;
    LoadLabelFields(record, kept, first);
    LoadLabelFields(whole, all, first);
    EXPECT_EQ(kept.Fields, all.Fields) << first;
    EXPECT_EQ(kept.DayNumber, all.DayNumber);
    EXPECT_EQ(kept.PresetLabel, all.PresetLabel);
  }
  LabelRecord kept;
  LoadLabelFields(record, kept);
  EXPECT_EQ(kept.Fields[0], "second");
  EXPECT_EQ(kept.Fields[5], "late");
  EXPECT_EQ(kept.DayNumber, 45);
  EXPECT_TRUE(kept.PresetLabel);
}

TEST(ReadRecordHeaderTest, ReadsKindCountsAndBarcodeGroupsWithTheirLimits) {
  LabelRecord label;
  ReadRecordHeader({"{KAV and more text", "3", "-2", "ABCDEFGHIJKLMN", "  99  ", "5 trailing"}, label);
  EXPECT_EQ(label.RecordKind, "{KAV and m");
  EXPECT_EQ(label.ParcelCount, 3);
  EXPECT_EQ(label.PalletCount, -2);
  EXPECT_EQ(label.LabelTotal(), 1);
  EXPECT_EQ(label.BarcodeGroup3, "ABCDEFGHIJ");
  EXPECT_EQ(label.BarcodePrefix, "99");
  EXPECT_EQ(label.BarcodeGroup5, "5 trailing");
}

TEST(ReadRecordHeaderTest, CountLinesThatAreNotPlainNumbersCountZero) {
  LabelRecord label;
  ReadRecordHeader({"{KAV", "3 ", " +4", "", "", ""}, label);
  EXPECT_EQ(label.ParcelCount, 0);
  EXPECT_EQ(label.PalletCount, 4);
  ReadRecordHeader({"{KAV", "x", "99999999999", "", "", ""}, label);
  EXPECT_EQ(label.ParcelCount, 0);
  EXPECT_EQ(label.PalletCount, 0);
}

TEST(ReadRecordHeaderTest, ShortDunIsWrittenInFullOtherKindsStayAsWritten) {
  LabelRecord label;
  ReadRecordHeader(Header("{DN  "), label);
  EXPECT_EQ(label.RecordKind, "{DUN");
  ReadRecordHeader(Header(" {DN"), label);
  EXPECT_EQ(label.RecordKind, "{DUN");
  ReadRecordHeader(Header("{KAV "), label);
  EXPECT_EQ(label.RecordKind, "{KAV ");
}

TEST(LabelTotalTest, HeldToThe32BitRangeInsteadOfOverflowing) {
  LabelRecord label;
  label.ParcelCount = 2147483647;
  label.PalletCount = 5;
  EXPECT_EQ(label.LabelTotal(), 2147483647);
  label.ParcelCount = -2147483647 - 1;
  label.PalletCount = -1;
  EXPECT_EQ(label.LabelTotal(), -2147483647 - 1);
}

TEST(LoadLabelFieldsTest, FieldValuesFollowTheirCodeWithLimitsAndLastLineWins) {
  RecordLines record = Header("{KAV");
  record.push_back("00 first");
  record.push_back("00second ");
  record.push_back("06ABCDEFGHIJKLMNOPQRST");
  record.push_back("09" + std::string(300, 'x'));
  record.push_back("39");
  record.push_back("7");
  LabelRecord label;
  label.Fields[12] = "left over from the label before";
  LoadLabelFields(record, label);
  EXPECT_EQ(label.Fields[0], "second ");
  EXPECT_EQ(label.Fields[6], "ABCDEFGHIJKLMNO");
  EXPECT_EQ(label.Fields[9], std::string(255, 'x'));
  EXPECT_EQ(label.Fields[7], "");
  EXPECT_EQ(label.Fields[12], "");
  EXPECT_FALSE(label.PresetLabel);
}

TEST(LoadLabelFieldsTest, LinesWithoutAUsableCodeChangeNothing) {
  RecordLines record = Header("{KAV");
  for (const char* bad : {"", "AB value", "1A value", "-1 value", "40 no such field", "99 nor this", "} ", "UM bag"})
    record.push_back(bad);
  record.push_back(" 5five");
  LabelRecord label;
  LoadLabelFields(record, label);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(label.Fields[i], i == 5 ? "five" : "") << "field " << i;
  EXPECT_EQ(label.DayNumber, 0);
}

TEST(LoadLabelFieldsTest, Code32SetsTheDayNumberOnly) {
  LabelRecord label;
  RecordLines record = Header("{KAV");
  record.push_back("32 45xyz");
  LoadLabelFields(record, label);
  EXPECT_EQ(label.DayNumber, 45);
  EXPECT_EQ(label.Fields[32], "");
  record.back() = "32a45";
  LoadLabelFields(record, label);
  EXPECT_EQ(label.DayNumber, 0);
}

TEST(LoadLabelFieldsTest, PresetLabelNeedsBothNumberAndBarcode) {
  LabelRecord label;
  RecordLines record = Header("{KAV");
  record.push_back("37 007 ");
  record.push_back("39 X ");
  LoadLabelFields(record, label);
  EXPECT_TRUE(label.PresetLabel);
  EXPECT_EQ(label.Fields[37], "7");
  EXPECT_EQ(label.Fields[39], "X");

  record.back() = "39   ";
  LoadLabelFields(record, label);
  EXPECT_FALSE(label.PresetLabel);
  EXPECT_EQ(label.Fields[37], " 007 ");

  record.pop_back();
  LoadLabelFields(record, label);
  EXPECT_FALSE(label.PresetLabel);

  record.push_back("37abc");
  record.push_back("39Y");
  LoadLabelFields(record, label);
  EXPECT_TRUE(label.PresetLabel);
  EXPECT_EQ(label.Fields[37], "0");
}

TEST(LoadLabelFieldsTest, SheetPathCanStartFieldsLater) {
  LabelRecord label;
  RecordLines record = Header("{KAV");
  record.push_back("01skipped");
  record.push_back("02read");
  LoadLabelFields(record, label, 7);
  EXPECT_EQ(label.Fields[1], "");
  EXPECT_EQ(label.Fields[2], "read");
}

TEST(ComposeBarcodeDataTest, LongFormExampleWithCheckDigitAndSpacedText) {
  LabelRecord label;
  label.RecordKind = "{KAV";
  label.BarcodePrefix = "99";
  label.BarcodeGroup3 = "123456";
  label.BarcodeGroup5 = "1";
  label.Fields[7] = "AB";
  label.Fields[11] = "12345678";
  label.Fields[1] = "75";
  label.Fields[2] = "1";
  label.DayNumber = 45;
  const std::string data = ComposeBarcodeData(label, 2);
  EXPECT_EQ(data, "99 AB  1234560451123456780027512");
  EXPECT_EQ(SpaceBarcodeText(data), "99  AB   123456 045 1 12345678 002 751 2");
  EXPECT_EQ(SpaceBarcodeText(data).size(), 40u);
  EXPECT_EQ(ComposeBarcodeData(label, 1), "99 AB  1234560451123456780017513");
  // A day number read as negative keeps its sign ahead of the zeros.
  label.DayNumber = -7;
  EXPECT_EQ(ComposeBarcodeData(label, 1).substr(13, 4), "-007");
}

TEST(ComposeBarcodeDataTest, ZanTakesItsOwnFields) {
  LabelRecord label;
  label.RecordKind = "{ZAN";
  label.BarcodePrefix = "99";
  label.BarcodeGroup3 = "654321";
  label.BarcodeGroup5 = "5";
  label.Fields[28] = "WXYZ";
  label.Fields[15] = "ABCDEFGHIJ";
  label.Fields[1] = "Z01";
  label.Fields[2] = "ignored";
  label.Fields[7] = "ignored";
  label.Fields[11] = "ignored";
  label.DayNumber = 366;
  EXPECT_EQ(ComposeBarcodeData(label, 1), "99 WXYZ6543213665ABCDEFGH001Z019");
  label.BarcodePrefix = "12";
  label.Fields[15] = "ABCDEFGHIJ";
  EXPECT_EQ(ComposeBarcodeData(label, 4), "12WXYZ654321CDEFGH04");
}

TEST(ComposeBarcodeDataTest, ShortFormExampleAndFixedWidths) {
  LabelRecord label;
  label.RecordKind = "{K63";
  label.BarcodePrefix = "12";
  label.Fields[7] = "0001";
  label.BarcodeGroup3 = "000123";
  label.Fields[11] = "AB987654XYZ";
  EXPECT_EQ(ComposeBarcodeData(label, 3), "12000100012398765403");
  label.BarcodePrefix = "9";
  label.Fields[7] = "";
  label.BarcodeGroup3 = "ABCDEFGHIJ";
  label.Fields[11] = "AB1";
  EXPECT_EQ(ComposeBarcodeData(label, 123), "9     ABCDEF1     123");
}

TEST(ComposeBarcodeDataTest, LabelIndexFromThousandLengthensTheLongForm) {
  LabelRecord label;
  label.BarcodePrefix = "99";
  label.DayNumber = 999;
  const std::string data = ComposeBarcodeData(label, 1000);
  EXPECT_EQ(data.size(), 33u);
  EXPECT_EQ(data.substr(0, 32), "99" + std::string(11, ' ') + "999" + std::string(9, ' ') + "1000   ");
  EXPECT_EQ(SpaceBarcodeText(data), data);
}

TEST(AppendCheckDigitTest, WeighsOddPositionsThreeTimesOverTheFirst31) {
  EXPECT_EQ(AppendCheckDigit(std::string(31, '0')), std::string(31, '0') + "0");
  EXPECT_EQ(AppendCheckDigit("1" + std::string(30, '0')), "1" + std::string(30, '0') + "7");
  EXPECT_EQ(AppendCheckDigit("01"), "019");
  EXPECT_EQ(AppendCheckDigit("A B"), "A B0");
  // Past the 31st character nothing counts.
  EXPECT_EQ(AppendCheckDigit(std::string(31, '0') + "5"), std::string(31, '0') + "50");
  EXPECT_EQ(AppendCheckDigit(""), "0");
}

TEST(SpaceBarcodeTextTest, OnlyThirtyTwoCharactersAreSpaced) {
  EXPECT_EQ(SpaceBarcodeText("12345678901234567890123456789012"), "123 4567 890123 456 7 89012345 678 901 2");
  EXPECT_EQ(SpaceBarcodeText("1234567890123456789012345678901"), "1234567890123456789012345678901");
  EXPECT_EQ(SpaceBarcodeText(""), "");
}

TEST(DayOfYearFromDateTest, ReadsDayMonthOrMonthDayWithLeapYears) {
  EXPECT_EQ(DayOfYearFromDate("31/12/2024"), 366);
  EXPECT_EQ(DayOfYearFromDate("12/31/2024"), 366);
  EXPECT_EQ(DayOfYearFromDate("31/12/2023"), 365);
  EXPECT_EQ(DayOfYearFromDate("01/01/2024"), 1);
  EXPECT_EQ(DayOfYearFromDate("14-02-2024"), 45);
  EXPECT_EQ(DayOfYearFromDate("29/02/2000"), 60);
  EXPECT_EQ(DayOfYearFromDate("03/04/2024 12:00"), 94);
}

TEST(DayOfYearFromDateTest, UnreadableDatesGive999) {
  for (const char* bad : {"30/02/2024", "29/02/1900", "", "1/2/2024", "31/12/24", "aa/bb/cccc", "00/00/2024",
                          "31/12/0000", "13/13/2024", "31/04/2024"})
    EXPECT_EQ(DayOfYearFromDate(bad), 999) << bad;
}

TEST(DeriveLabelFieldsTest, SharedKindsFillHeaderCounterBarcodeAndSpacedText) {
  RecordLines record = Header("{KAV", "2", "0", "99");
  record.push_back("1414/02/2024");
  record.push_back("30overwritten");
  record.push_back("33overwritten");
  record.push_back("05overwritten");
  LabelRecord label;
  ReadRecordHeader(record, label);
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 2, "THE HEADER", false);
  EXPECT_EQ(label.Fields[5], "THE HEADER");
  EXPECT_EQ(label.Fields[30], "2");
  EXPECT_EQ(label.DayNumber, 45);
  EXPECT_EQ(label.Fields[32].substr(13, 3), "045");
  EXPECT_EQ(label.Fields[33], SpaceBarcodeText(label.Fields[32]));
  EXPECT_EQ(label.Fields[33].size(), 40u);
}

TEST(DeriveLabelFieldsTest, DayNumberRules) {
  RecordLines record = Header("{KAV", "1", "0", "99");
  record.push_back("1401/02/2024");
  record.push_back("32 45");
  LabelRecord label;
  ReadRecordHeader(record, label);
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "", false);
  EXPECT_EQ(label.DayNumber, 45);
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "", true);
  EXPECT_EQ(label.DayNumber, 999);
  record.pop_back();
  record.push_back("32 xy");
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "", false);
  EXPECT_EQ(label.DayNumber, 32);
  record.push_back("14not a date");
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "", false);
  EXPECT_EQ(label.DayNumber, 999);
}

TEST(DeriveLabelFieldsTest, ZanUsesItsOwnFieldsAndNoSpacedText) {
  RecordLines record = Header("{ZAN", "1", "0", "99");
  record.push_back("1831/12/2024");
  record.push_back("1414/02/2024");
  LabelRecord label;
  ReadRecordHeader(record, label);
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "HDR", false);
  EXPECT_EQ(label.Fields[4], "HDR");
  EXPECT_EQ(label.Fields[5], "");
  EXPECT_EQ(label.Fields[17], "1");
  EXPECT_EQ(label.DayNumber, 366);
  EXPECT_EQ(label.Fields[21].size(), 32u);
  EXPECT_EQ(label.Fields[32], "");
  EXPECT_EQ(label.Fields[33], "");
}

TEST(DeriveLabelFieldsTest, PresetLabelGivesNumberAndBarcode) {
  RecordLines record = Header("{K63", "4", "0");
  record.push_back("37 007");
  record.push_back("39PRESET-BARCODE");
  LabelRecord label;
  ReadRecordHeader(record, label);
  LoadLabelFields(record, label);
  DeriveLabelFields(label, 1, "", false);
  EXPECT_EQ(label.Fields[30], "7");
  EXPECT_EQ(label.Fields[32], "PRESET-BARCODE");
  EXPECT_EQ(label.Fields[33], "PRESET-BARCODE");
}

}  // namespace
}  // namespace imptherm
