#include "common/logs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/captions.h"
#include "fakes/fake_platform.h"
#include "platform/error.h"

namespace imptherm {
namespace {
using fakes::FakePlatform;

TEST(TempFolder, AddsTheSeparatorOnlyWhenMissingAndStaysEmptyWhenUnknown) {
  fakes::FakeSystem sys;
  sys.tempPath = "/var/tmp";
  EXPECT_EQ(TempFolder(sys), "/var/tmp/");
  sys.tempPath = "/var/tmp/";
  EXPECT_EQ(TempFolder(sys), "/var/tmp/");
  sys.tempPath = "";
  EXPECT_EQ(TempFolder(sys), "");
}

TEST(SharedDataFolder, TrailingSeparatorGivesOneSeparatorBeforeMeridonAndTheFolderIsCreated) {
  FakePlatform f;
  f.system.env["ALLUSERSPROFILE"] = f.temp.path() + "all users/";
  std::string folder = SharedDataFolder(f.system);
  EXPECT_EQ(folder, f.temp.path() + "all users/MERIDON");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  // A second call finds it and creates nothing more.
  f.system.createdDirectories.clear();
  EXPECT_EQ(SharedDataFolder(f.system), folder);
  EXPECT_TRUE(f.system.createdDirectories.empty());
}

TEST(SharedDataFolder, MissingOrEmptyVariableTakesTheFallbackAndStoresItInTheEnvironment) {
  for (bool setEmpty : {false, true}) {
    FakePlatform f;
    f.system.env.erase("ALLUSERSPROFILE");
    if (setEmpty) f.system.env["ALLUSERSPROFILE"] = "";
    f.system.allUsersFallback = f.temp.path() + "share";
    EXPECT_EQ(SharedDataFolder(f.system), f.temp.path() + "share/MERIDON");
    EXPECT_EQ(f.system.env["ALLUSERSPROFILE"], f.temp.path() + "share");
  }
}

TEST(AllUsersFromWindowsFolders, DriveOfWindowsThenSystemFolderElseC) {
  EXPECT_EQ(AllUsersFromWindowsFolders("D:\\WINNT\\", ""), "D:\\Documents and Settings\\All Users");
  EXPECT_EQ(AllUsersFromWindowsFolders("", "E:\\WINDOWS\\system32\\"), "E:\\Documents and Settings\\All Users");
  EXPECT_EQ(AllUsersFromWindowsFolders("", ""), "C:");
}

TEST(ParameterLog, ResetEmptiesAndEachWriteAppendsOneTimeStampedLine) {
  FakePlatform f;
  f.temp.Write("ImpThermOrvane.Log", "old run\r\n");
  ParameterLog log(f.system);
  log.Reset();
  EXPECT_EQ(f.temp.Read("ImpThermOrvane.Log"), "");
  log.Write("prnType:4");
  f.system.timeStamp = "08/12/2026 10:11:13";
  log.Write("fileOut:FILE");
  EXPECT_EQ(f.temp.Read("ImpThermOrvane.Log"), "08/12/2026 10:11:12 prnType:4\r\n08/12/2026 10:11:13 fileOut:FILE\r\n");
}

TEST(RunLog, CreatedWhenMissingAppendedWhenPresent) {
  FakePlatform f;
  RunLog log(f.system);
  log.SetWorkFolder(f.temp.path());
  log.Write("first");
  RunLog again(f.system);  // as after the control is loaded anew
  again.SetWorkFolder(f.temp.path());
  again.Write("second");
  EXPECT_EQ(f.temp.Read("OWTMP.LOG"), "08/12/2026 10:11:12 first\r\n08/12/2026 10:11:12 second\r\n");
}

TEST(RunLog, ALogThatCannotBeAppendedToRaisesAndIsNeverEmptied) {
  FakePlatform f;
  // A folder where the log should be: no open for writing can succeed, even as root.
  std::filesystem::create_directory(f.temp.path() + "OWTMP.LOG");
  f.temp.Write("OWTMP.LOG/keep", "kept");
  RunLog log(f.system);
  log.SetWorkFolder(f.temp.path());
  EXPECT_THROW(log.Write("line"), PlatformError);
  EXPECT_EQ(f.temp.Read("OWTMP.LOG/keep"), "kept");
}

TEST(LoadCaption, BanksHoldTheSameTextsAndUnknownIdsAreEmpty) {
  fakes::FakeResources res;
  EXPECT_EQ(LoadCaption(res, 2000, 11), "DESTINATAIRE");
  for (int base : {0, 1000, 2000, 3000}) {
    EXPECT_EQ(LoadCaption(res, base, 1), "Exp.");
    EXPECT_EQ(LoadCaption(res, base, 14), "KG   :");
    EXPECT_EQ(LoadCaption(res, base, 17), "Tel:");
  }
  EXPECT_EQ(LoadCaption(res, 0, 18), "");
  EXPECT_EQ(LoadCaption(res, 500, 1), "");
}

}  // namespace
}  // namespace imptherm
