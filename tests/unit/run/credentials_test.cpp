#include "run/credentials.h"

#include <gtest/gtest.h>

#include "credential_key_table.h"

namespace imptherm {
namespace {

TEST(HexDigitValue, DigitsUpperCaseLettersAndEverythingElse) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('A'), 10);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('a'), 0);  // callers upper-case first
  EXPECT_EQ(HexDigitValue('G'), 0);
  EXPECT_EQ(HexDigitValue(' '), 0);
}

TEST(DescrambleCredential, TwoDigitsGiveOneCharacterTenAboveTheByte) {
  EXPECT_EQ(DescrambleCredential("37"), "A");                     // 0x37 + 10 = 'A'
  EXPECT_EQ(DescrambleCredential("FA"), std::string(1, '\x04'));  // wraps modulo 256
}

TEST(DescrambleCredential, EmptyAndSingleCharacterInputsGiveEmptyText) {
  EXPECT_EQ(DescrambleCredential(""), "");
  EXPECT_EQ(DescrambleCredential("3"), "");
}

TEST(DescrambleCredential, LetterCaseOfDigitsDoesNotMatterAndOddDigitIsIgnored) {
  const std::string scrambled = ScrambleCredential("dupont");
  std::string lower = scrambled;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DescrambleCredential(lower), "dupont");
  EXPECT_EQ(DescrambleCredential(scrambled + "7"), "dupont");
}

TEST(DescrambleCredential, NonHexCharactersCountAsZero) {
  // "G7" decodes as "07": 0x07 + 10.
  EXPECT_EQ(DescrambleCredential("G7"), std::string(1, '\x11'));
  EXPECT_EQ(DescrambleCredential("G7"), DescrambleCredential("07"));
}

// The key letter of character i (from 1) on row r, straight from the rule:
// column i mod 40 of the row, column 0 meaning the letter before the row.
unsigned char ExpectedKey(int row, int i) {
  int flat = 40 * (row - 1) + i % 40;
  return flat >= 1 ? static_cast<unsigned char>(kCredentialKeyTable[flat - 1]) : 0;
}

TEST(DescrambleCredential, SecondCharacterUsesColumnTwoOfTheRowOfTheFirst) {
  // First clear character 'A' (65): row 65 % 10 + 1 = 6. Scrambled byte 0 for
  // the second character gives the key letter itself.
  std::string clear = DescrambleCredential("3700");
  ASSERT_EQ(clear.size(), 2u);
  EXPECT_EQ(clear[0], 'A');
  EXPECT_EQ(static_cast<unsigned char>(clear[1]), ExpectedKey(6, 2));
  EXPECT_EQ(static_cast<unsigned char>(clear[1]), static_cast<unsigned char>(kCredentialKeyTable[40 * 5 + 1]));
}

TEST(DescrambleCredential, FortiethCharacterUsesLastLetterOfPrecedingRowOrZeroOnRowOne) {
  std::string zeros(80 * 2, '0');
  // First character 0x00 + 10 = 10: row 1. Character 40 falls before the table.
  std::string row1 = DescrambleCredential(zeros);
  ASSERT_EQ(row1.size(), 80u);
  EXPECT_EQ(row1[39], '\0');
  EXPECT_EQ(row1[79], '\0');
  EXPECT_EQ(static_cast<unsigned char>(row1[40]), static_cast<unsigned char>(kCredentialKeyTable[0]));  // column 1
  // First byte 0x01 -> 11: row 2. Character 40 takes the last letter of row 1.
  std::string row2 = DescrambleCredential("01" + zeros.substr(2));
  EXPECT_EQ(row2[39], kCredentialKeyTable[39]);
  EXPECT_EQ(row2[38], kCredentialKeyTable[40 + 38]);  // character 39: column 39 of row 2
}

TEST(ScrambleCredential, RoundTripsEveryByteValueAndLongTexts) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  for (int first = 0; first < 256; first += 7) {
    std::string clear = std::string(1, static_cast<char>(first)) + all;
    EXPECT_EQ(DescrambleCredential(ScrambleCredential(clear)), clear) << first;
  }
  EXPECT_EQ(ScrambleCredential(""), "");
  EXPECT_EQ(ScrambleCredential("A"), "37");
}

TEST(ScrambleCredential, WritesUpperCaseHexPairs) {
  std::string s = ScrambleCredential("Mot de passe \xE9t\xE9");
  EXPECT_EQ(s.size(), 2 * std::string("Mot de passe \xE9t\xE9").size());
  for (char c : s) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << c;
}

}  // namespace
}  // namespace imptherm
