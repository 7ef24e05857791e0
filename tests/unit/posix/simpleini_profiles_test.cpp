#include "platform/posix/simpleini_profiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "fakes/fake_platform.h"

namespace imptherm::posix {
namespace {

class SimpleIniProfilesTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir.path() + "test.ini"; }
  fakes::TempDir dir;
  SimpleIniProfiles ini;
};

TEST_F(SimpleIniProfilesTest, MissingFileOrSectionReadsEmpty) {
  EXPECT_EQ(ini.ReadString(Path(), "S", "k"), "");
  EXPECT_TRUE(ini.ReadSection(Path(), "S").empty());
  dir.Write("test.ini", "[Other]\nk=v\n");
  EXPECT_EQ(ini.ReadString(Path(), "S", "k"), "");
  EXPECT_TRUE(ini.ReadSection(Path(), "S").empty());
  EXPECT_EQ(ini.ReadString(Path(), "other", "K"), "v");
}

TEST_F(SimpleIniProfilesTest, SectionKeysComeInFileOrder) {
  dir.Write("test.ini", "[S]\nzeta=1\nAlpha=2\nmid = 3 \n[T]\nx=4\n");
  const ProfileFiles::Entries expected = {{"zeta", "1"}, {"Alpha", "2"}, {"mid", "3"}};
  EXPECT_EQ(ini.ReadSection(Path(), "s"), expected);
}

TEST_F(SimpleIniProfilesTest, WritingKeepsEverythingElseAndTheFileMode) {
  dir.Write("test.ini", "; head\n[S]\n; about k\nk=old\nother=1\n");
  ::chmod(Path().c_str(), 0640);
  ASSERT_TRUE(ini.WriteString(Path(), "s", "K", "new"));
  ASSERT_TRUE(ini.WriteString(Path(), "New Section", "a", "b"));
  EXPECT_TRUE(ini.Flush(Path()));
  const std::string text = dir.Read("test.ini");
  for (const char* kept : {"; head\n", "[S]\n", "; about k\nk=new\nother=1\n", "[New Section]\na=b\n"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_EQ(text.find("old"), std::string::npos);
  // Rewriting does not make the file grow (blank lines are laid out anew).
  ASSERT_TRUE(ini.WriteString(Path(), "S", "k", "new"));
  EXPECT_EQ(dir.Read("test.ini"), text);
  EXPECT_EQ(std::filesystem::status(Path()).permissions(), std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_write |
                                                               std::filesystem::perms::group_read);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(SimpleIniProfilesTest, UnwritablePlacesFailWithoutLeavingFiles) {
  EXPECT_FALSE(ini.WriteString(dir.path() + "no/such/folder/x.ini", "S", "k", "v"));
  EXPECT_FALSE(ini.Flush(dir.path() + "missing.ini"));
  std::filesystem::create_directory(Path());
  EXPECT_FALSE(ini.WriteString(Path(), "S", "k", "v"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(SimpleIniProfilesTest, ReadsFollowTheFileBetweenCalls) {
  dir.Write("test.ini", "[S]\nk=1\n");
  EXPECT_EQ(ini.ReadString(Path(), "S", "k"), "1");
  dir.Write("test.ini", "[S]\nk=2\n");
  EXPECT_EQ(ini.ReadString(Path(), "S", "k"), "2");
  std::filesystem::remove(Path());
  EXPECT_EQ(ini.ReadString(Path(), "S", "k"), "");
  dir.Write("other.ini", "[S]\nk=3\n");
  EXPECT_EQ(ini.ReadString(dir.path() + "other.ini", "S", "k"), "3");
}

}  // namespace
}  // namespace imptherm::posix
