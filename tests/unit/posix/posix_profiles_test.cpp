#include "platform/posix/posix_profiles.h"

#include <gtest/gtest.h>

#include "cases/profile_file_cases.h"
#include "fakes/fake_platform.h"

namespace imptherm::posix {
namespace {

TEST(PosixProfilesTest, ReadsAndEditsAsTheProfileFunctions) {
  fakes::TempDir dir;
  PosixProfiles profiles;
  int n = 0;
  for (const auto& c : cases::kProfileFileCases) {
    const std::string name = std::to_string(++n) + ".ini", path = dir.path() + name;
    if (c.before) dir.Write(name, c.before);
    if (c.write) {
      EXPECT_TRUE(profiles.WriteString(path, c.section, c.key, c.write)) << c.name;
      EXPECT_EQ(fakes::ReadFile(path), c.expected) << c.name;
    } else if (c.key) {
      EXPECT_EQ(profiles.ReadString(path, c.section, c.key), c.expected) << c.name;
    } else {
      std::string entries;
      for (const auto& [key, value] : profiles.ReadSection(path, c.section)) entries += key + "=" + value + "\n";
      EXPECT_EQ(entries, c.expected) << c.name;
    }
  }
}

}  // namespace
}  // namespace imptherm::posix
