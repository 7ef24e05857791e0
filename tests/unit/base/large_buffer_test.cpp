#include "base/large_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace imptherm {
namespace {

// Given back from its start a step at a time (huge pages are 2 MiB where
// the system has them), a buffer keeps every byte from the point given back
// on; a resized copy keeps the bytes asked for.
TEST(LargeBufferTest, KeepsEveryByteNotGivenBack) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  for (const std::size_t size : {std::size_t{100}, 5 * kMiB + 3}) {
    std::string expected(size, '\0');
    for (std::size_t i = 0; i < size; ++i) expected[i] = static_cast<char>(i * 7 + i / 4096 + 1);
    LargeBuffer buffer(size);
    std::memcpy(buffer.data(), expected.data(), size);

    const LargeBuffer grown = buffer.Resized(2 * size, size - 1);
    ASSERT_EQ(grown.size(), 2 * size);
    EXPECT_EQ(std::memcmp(grown.data(), expected.data(), size - 1), 0) << size;

    for (const std::size_t from : {std::size_t{0}, std::size_t{1000}, 2 * kMiB - 1, 2 * kMiB + 5, 4 * kMiB + 1, size}) {
      if (from > size) continue;
      buffer.Release(from);
      EXPECT_EQ(std::memcmp(buffer.data() + from, expected.data() + from, size - from), 0) << size << " from " << from;
    }
  }
}

}  // namespace
}  // namespace imptherm
