#include "barcode/code128.h"

#include <gtest/gtest.h>

#include <set>

namespace imptherm {
namespace {

using V = std::vector<int>;

TEST(BuildCode128Content, LettersGetBAndLongDigitRunsGetC) {
  EXPECT_EQ(BuildCode128Content("AB12345678"), "\\BAB\\C12345678");
  EXPECT_EQ(BuildCode128Content("12AB345"), "12\\BAB345");
  // Blanks around the data go; blanks inside are letters of subset B.
  EXPECT_EQ(BuildCode128Content("  0123 456789  "), "0123\\B \\C456789");
  EXPECT_EQ(BuildCode128Content("0123 45678"), "0123\\B 45678");
  // "\C" only when more than four characters follow the digit.
  EXPECT_EQ(BuildCode128Content("A123456"), "\\BA\\C123456");
  EXPECT_EQ(BuildCode128Content("A12345"), "\\BA12345");
  EXPECT_EQ(BuildCode128Content(""), "");
}

TEST(BuildCode128Content, BackslashInTheDataCannotTurnIntoASwitch) {
  EXPECT_EQ(BuildCode128Content("A\\C1"), "\\BA\\\\C1");
  // Encoded, the data comes back byte for byte: A \ C 1 in subset B.
  const V v = EncodeCode128(BuildCode128Content("A\\C1"));
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 100, 'A' - 32, '\\' - 32, 'C' - 32, '1' - 32}));
}

// The worked example of ISO/IEC 15417: "AIM1234" as Start B, A, I, M,
// CODE C, 12, 34 has the check character 87.
TEST(EncodeCode128, IsoWorkedExampleCheckCharacter) {
  EXPECT_EQ(EncodeCode128("AIM\\C1234", Code128Subset::B), (V{104, 33, 41, 45, 99, 12, 34, 87, 106}));
}

TEST(EncodeCode128, StartsInSubsetCAndSwitchesOnRequest) {
  // 105 + 1*12 + 2*34 = 185 -> 185 mod 103 = 82
  EXPECT_EQ(EncodeCode128("1234"), (V{105, 12, 34, 82, 106}));
  // Start C, CODE B, A, B, CODE C, 12, 34, 56, 78
  const V v = EncodeCode128(BuildCode128Content("AB12345678"));
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 100, 33, 34, 99, 12, 34, 56, 78}));
  EXPECT_EQ(v.back(), 106);
}

TEST(EncodeCode128, OddDigitRunsKeepOneDigitInSubsetB) {
  // Leading run of three digits: 12 in C, then CODE B and 3.
  V v = EncodeCode128("123");
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 12, 100, '3' - 32}));
  // After a switch into C the first digit stays in B, CODE C follows it.
  v = EncodeCode128("\\BAB\\C12345");
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 100, 33, 34, '1' - 32, 99, 23, 45}));
  // A single digit never costs a switch.
  v = EncodeCode128("7");
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 100, '7' - 32}));
}

TEST(EncodeCode128, BytesOutsideSubsetBAreKept) {
  // A letter met in subset C without "\B" goes to subset B.
  V v = EncodeCode128("12X");
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 12, 100, 'X' - 32}));
  // A control character through SHIFT, a byte of 128 or more through FNC4.
  v = EncodeCode128("\\B\t\xE9");
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{105, 100, 98, '\t' + 64, 100, 0xE9 - 128 - 32}));
  // Without extended syntax a backslash is data.
  v = EncodeCode128("\\B", Code128Subset::B, false);
  EXPECT_EQ(V(v.begin(), v.end() - 2), (V{104, '\\' - 32, 'B' - 32}));
}

TEST(EncodeCode128, CheckCharacterIsTheWeightedSumModulo103) {
  for (const char* content : {"", "0", "99", "\\BHello, World!", "\\B~\\C00000000", "123456789"}) {
    const V v = EncodeCode128(content);
    long sum = v[0];
    for (std::size_t i = 1; i + 2 < v.size(); ++i) sum += static_cast<long>(i) * v[i];
    EXPECT_EQ(v[v.size() - 2], sum % 103) << content;
    EXPECT_EQ(v.back(), 106);
    for (int x : v) EXPECT_TRUE(x >= 0 && x <= 106);
  }
}

TEST(Code128Pattern, TableIsAValidCode128Table) {
  std::set<std::string_view> seen;
  for (int v = 0; v <= 106; ++v) {
    const std::string_view p = Code128Pattern(v);
    ASSERT_EQ(p.size(), v == 106 ? 7u : 6u) << v;
    int modules = 0, barModules = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
      ASSERT_TRUE(p[i] >= '1' && p[i] <= '4') << v;
      modules += p[i] - '0';
      if (i % 2 == 0) barModules += p[i] - '0';
    }
    EXPECT_EQ(modules, v == 106 ? 13 : 11) << v;
    EXPECT_EQ(barModules % 2, 0) << v;  // bars of every character have even parity
    EXPECT_TRUE(seen.insert(p.substr(0, 6)).second) << v;
  }
  EXPECT_THROW(Code128Pattern(107), std::out_of_range);
}

}  // namespace
}  // namespace imptherm
