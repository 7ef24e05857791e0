#include "base/cp1252.h"

#include <gtest/gtest.h>

namespace imptherm {
namespace {

bool Unassigned(int b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

TEST(Cp1252, EveryByteMakesTheTripThroughUtf8) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(one);
    if (Unassigned(b)) {
      EXPECT_EQ(utf8, "\xEF\xBF\xBD") << b;
      EXPECT_EQ(Utf8ToCp1252(utf8), "?") << b;
    } else {
      EXPECT_EQ(Utf8ToCp1252(utf8), one) << b;
      std::size_t pos = 0;
      const auto cp = DecodeUtf8(utf8, pos);
      ASSERT_TRUE(cp && pos == utf8.size()) << b;  // one character
      if (b < 0x80 || b >= 0xA0) {
        EXPECT_EQ(*cp, static_cast<char32_t>(b)) << b;  // Latin-1 outside the table
      }
    }
  }
}

TEST(Cp1252, ConvertsBothWays) {
  struct Row {
    const char* cp1252;
    const char* utf8;
  };
  const Row rows[] = {
      {"caf\xE9", "caf\xC3\xA9"},
      {"\x80", "\xE2\x82\xAC"},  // first and last of the table
      {"\x9F", "\xC5\xB8"},
      {"\x8A\x8E\x9A\x9E", "\xC5\xA0\xC5\xBD\xC5\xA1\xC5\xBE"},
      {"\x93quoted\x94 \x96 \x85", "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x80\x93 \xE2\x80\xA6"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Cp1252ToUtf8(r.cp1252), r.utf8) << r.cp1252;
    EXPECT_EQ(Utf8ToCp1252(r.utf8), r.cp1252) << r.cp1252;
  }
}

TEST(Cp1252, Utf8ToCp1252KeepsWhatIsNotUtf8AndMarksWhatHasNoByte) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"caf\xE9", "caf\xE9"},            // a lone Latin-1 byte: already single-byte
      {"\xC3\xA9\xC3", "\xC3\xA9\xC3"},  // truncated sequence
      {"\xC0\xAF", "\xC0\xAF"},          // overlong form is not UTF-8
      {"\xED\xA0\x80", "\xED\xA0\x80"},  // a surrogate is not UTF-8
      {"\xE2\x9C\x93", "?"},             // valid, but no byte for it
      {"a\xF0\x9F\x98\x80z", "a?z"},     // beyond the BMP
      {"\xC2\x81", "?"},                 // U+0081 is not the unassigned byte 0x81
  };
  for (const Row& r : rows) EXPECT_EQ(Utf8ToCp1252(r.in), r.out) << r.in;
}

}  // namespace
}  // namespace imptherm
