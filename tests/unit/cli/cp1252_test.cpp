#include "platform/posix/cp1252.h"

#include <gtest/gtest.h>

namespace imptherm::posix {
namespace {

TEST(Cp1252, EveryAssignedByteSurvivesTheTripThroughUtf8) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
    std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
  }
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xEF\xBF\xBD");
}

TEST(Cp1252, TextThatIsNotUtf8IsTakenAsItStands) {
  EXPECT_EQ(Utf8ToCp1252("caf\xE9"), "caf\xE9");            // a lone Latin-1 byte
  EXPECT_EQ(Utf8ToCp1252("\xC3\xA9\xC3"), "\xC3\xA9\xC3");  // truncated sequence
  EXPECT_EQ(Utf8ToCp1252("\xE2\x9C\x93"), "?");             // valid, but no byte for it
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "\xC0\xAF");          // overlong form is not UTF-8
}

}  // namespace
}  // namespace imptherm::posix
