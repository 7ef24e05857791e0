#include "labels/printer_config.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "common/logs.h"
#include "fakes/fake_platform.h"
#include "platform/error.h"
#include "platform/posix/posix_profiles.h"

namespace imptherm {
namespace {

// The real INI backend over the fake system's shared data folder.
class PrinterConfigTest : public ::testing::Test {
 protected:
  std::string Load(const std::string& prnType) { return LoadPrinterConfiguration(f.system, profiles, prnType); }
  std::string Path() const { return f.temp.path() + "profile/MERIDON/ImpThermOrvane.ini"; }
  void WriteIni(const std::string& text) {
    std::filesystem::create_directories(f.temp.path() + "profile/MERIDON");
    f.temp.Write("profile/MERIDON/ImpThermOrvane.ini", text);
  }
  std::string Ini() const { return fakes::ReadFile(Path()); }

  fakes::FakePlatform f;
  posix::PosixProfiles profiles;
};

TEST_F(PrinterConfigTest, FirstJobOfAModelCreatesTheFileWithItsDefaults) {
  EXPECT_EQ(Load("5"), "N\r\nS5\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,2\r\n");
  EXPECT_EQ(Ini(),
            "[ZEBRA S4M]\r\nParam01=N\r\nParam02=S5\r\nParam03=D9\r\nParam04=ON,D\r\nParam05=I8,1,033\r\n"
            "Param06=ZT\r\nParam07=R0,0\r\nParam08=Q1080,2\r\n");
  EXPECT_EQ(Load("5"), "N\r\nS5\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,2\r\n");
}

TEST_F(PrinterConfigTest, EveryModelHasItsSectionAndDefaults) {
  const std::string common = "D9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\n";
  EXPECT_EQ(Load("1"), "N\r\nS3\r\n" + common + "Q1080,24\r\n");
  EXPECT_EQ(Load("2"), "N\r\nS3\r\n" + common + "Q1080,24\r\n");
  EXPECT_EQ(Load("3"), "N\r\nS6\r\n" + common + "Q1080,24\r\n");
  EXPECT_EQ(Load("4"), "N\r\nS3\r\n" + common + "Q1080,24\r\n");
  const std::string ini = Ini();
  for (const char* section : {"[LP2642]", "[LP2742]", "[ELTRON 2746]", "[ZEBRA 2844]"})
    EXPECT_NE(ini.find(section), std::string::npos) << section;
  EXPECT_EQ(ini.find("[ZEBRA S4M]"), std::string::npos);
}

TEST_F(PrinterConfigTest, TypesThatNameNoModelGiveNothingAndTouchNoFile) {
  for (const char* type : {"", "0", "6", "9", "11", " 4", "4 ", "a"}) EXPECT_EQ(Load(type), "") << type;
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(PrinterConfigTest, PresentParam01IsNeverSeededAndReadingStopsAtTheFirstGap) {
  WriteIni("[ZEBRA 2844]\nParam01=X1\nParam03=X3\n");
  EXPECT_EQ(Load("4"), "X1\r\n");
  EXPECT_EQ(Ini(), "[ZEBRA 2844]\nParam01=X1\nParam03=X3\n");

  WriteIni("[ZEBRA 2844]\nParam01=A\nParam02=B\nParam03=C\nParam04=D\nParam05=E\nParam07=G\n");
  EXPECT_EQ(Load("4"), "A\r\nB\r\nC\r\nD\r\nE\r\n");
}

TEST_F(PrinterConfigTest, EmptyParam01SeedsTheFirstEightKeysAndKeepsTheRest) {
  WriteIni("[ZEBRA 2844]\nParam01=\nParam02=OLD\nParam09=EXTRA\nParam10=MORE\n");
  EXPECT_EQ(Load("4"), "N\r\nS3\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,24\r\nEXTRA\r\nMORE\r\n");
  EXPECT_EQ(Ini().find("OLD"), std::string::npos);
}

TEST_F(PrinterConfigTest, TwoDigitKeysUpToParam99Only) {
  std::string ini = "[LP2642]\nParam00=zero\nParam1=one digit\n";
  for (int k = 1; k <= 12; ++k)
    ini += "Param" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "=L" + std::to_string(k) + "\n";
  WriteIni(ini);
  std::string expected;
  for (int k = 1; k <= 12; ++k) expected += "L" + std::to_string(k) + "\r\n";
  EXPECT_EQ(Load("1"), expected);

  ini = "[LP2642]\n";
  for (int k = 1; k <= 100; ++k) ini += "Param" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "=V\n";
  WriteIni(ini);
  std::string all;
  for (int k = 1; k <= 99; ++k) all += "V\r\n";
  EXPECT_EQ(Load("1"), all);
}

TEST_F(PrinterConfigTest, ModelsUseTheirOwnSectionsOfOneFile) {
  Load("3");
  Load("4");
  const std::string edited = Ini().replace(Ini().find("S6"), 2, "S9");
  WriteIni(edited);
  EXPECT_EQ(Load("3").substr(0, 7), "N\r\nS9\r\n");
  EXPECT_EQ(Load("4").substr(0, 7), "N\r\nS3\r\n");
}

TEST_F(PrinterConfigTest, EditsReachTheNextJobEvenWhenTheSizeStaysTheSame) {
  Load("4");
  std::string ini = Ini();
  ini.replace(ini.find("D9"), 2, "D7");
  WriteIni(ini);
  EXPECT_EQ(Load("4").substr(0, 11), "N\r\nS3\r\nD7\r\n");
  ini.replace(ini.find("D7"), 2, "D5");
  WriteIni(ini);
  EXPECT_EQ(Load("4").substr(0, 11), "N\r\nS3\r\nD5\r\n");
}

TEST_F(PrinterConfigTest, NamesMatchWithoutRegardToCaseAndValuesLoseTheirBlanks) {
  WriteIni("[zebra 2844]\nPARAM01 =  first  \nparam02=second\n");
  EXPECT_EQ(Load("4"), "first\r\nsecond\r\n");
}

TEST_F(PrinterConfigTest, CommentsOtherSectionsAndKeysSurviveSeeding) {
  WriteIni(
      "; printers of the north warehouse\n[Other]\nkey=value\n\n; the small zebra\n[ZEBRA 2844]\nParam01=\n"
      "Param09=EXTRA\nCustom=kept\n");
  Load("4");
  const std::string ini = Ini();
  for (const char* kept : {"; printers of the north warehouse", "[Other]", "key=value", "; the small zebra",
                           "Param09=EXTRA", "Custom=kept", "Param01=N", "Param08=Q1080,24"})
    EXPECT_NE(ini.find(kept), std::string::npos) << kept;
}

// A folder where the file should be, a read-only file: the run's own message
// with the path; an oversized file: a message that says so. None is changed.
TEST_F(PrinterConfigTest, UnwritableOrOversizedFileRaisesItsMessage) {
  const std::string big = "[LP2642]\nParam01=\n;" + std::string(ProfileFiles::kMaxFileSize, 'x') + "\n";
  const std::string cannotWrite =
      "Impossible d'\xE9"
      "crire dans " +
      Path();
  const struct {
    const char* what;
    std::function<void()> make;
    std::string message;
  } cases[] = {
      {"folder", [&] { std::filesystem::create_directories(Path()); }, cannotWrite},
      {"read-only",
       [&] {
         WriteIni("[LP2642]\n");
         ::chmod(Path().c_str(), 0444);
       },
       cannotWrite},
      {"oversized", [&] { WriteIni(big); }, "Fichier trop volumineux (plus de 1 Mo) : " + Path()},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(Path());
    c.make();
    const std::string before = std::filesystem::is_regular_file(Path()) ? Ini() : "";
    try {
      Load("1");
      ADD_FAILURE() << c.what << ": no error raised";
    } catch (const PlatformError& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.what;
    }
    EXPECT_EQ(std::filesystem::is_regular_file(Path()) ? Ini() : "", before) << c.what;
  }
}

TEST(PrinterConfigFakeTest, SeedingWritesEightKeysInOrderThenFlushes) {
  fakes::FakePlatform f;
  EXPECT_EQ(LoadPrinterConfiguration(f.system, f.profiles, "3").substr(0, 7), "N\r\nS6\r\n");
  EXPECT_EQ(f.profiles.writes, 8);
  EXPECT_EQ(f.profiles.flushes, 1);
  const auto& section = f.profiles.files.begin()->second.at("ELTRON 2746");
  ASSERT_EQ(section.size(), 8u);
  EXPECT_EQ(section.front().first, "Param01");
  EXPECT_EQ(section.back().first, "Param08");
  LoadPrinterConfiguration(f.system, f.profiles, "3");
  EXPECT_EQ(f.profiles.writes, 8);
}

TEST(PrinterConfigFakeTest, FailedWriteRaisesAndBuildsNothing) {
  fakes::FakePlatform f;
  f.profiles.writable = false;
  EXPECT_THROW(LoadPrinterConfiguration(f.system, f.profiles, "1"), PlatformError);
}

// One configuration kept from job to job gives, at every step, what a fresh
// read gives: an edit, another model or a type without one is never
// answered with the lines of the section read before.
TEST(PrinterConfigFakeTest, KeptLinesFollowEveryEditAndModel) {
  fakes::FakePlatform f;
  const std::string path = SharedDataFolderPath(f.system) + f.system.PathSeparator() + kPrinterConfigFileName;
  struct Step {
    const char* section;  // the edit made before the job; none: the file as it is
    const char* key;
    const char* value;
    const char* prnType;
    const char* lines;
  };
  const Step steps[] = {
      {"ZEBRA 2844", "Param01", "N", "4", "N\r\n"},
      {"ZEBRA 2844", "Param02", "S3", "4", "N\r\nS3\r\n"},
      {nullptr, nullptr, nullptr, "4", "N\r\nS3\r\n"},
      {"ZEBRA 2844", "Param02", "S7", "4", "N\r\nS7\r\n"},
      {"LP2642", "Param01", "X", "1", "X\r\n"},
      {nullptr, nullptr, nullptr, "4", "N\r\nS7\r\n"},
      {nullptr, nullptr, nullptr, "9", ""},
      {nullptr, nullptr, nullptr, "4", "N\r\nS7\r\n"},
      {"ZEBRA 2844", "Param01", "", "4", "N\r\nS3\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,24\r\n"},
      {"ZEBRA 2844", "Param09", "Z", "4", "N\r\nS3\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,24\r\nZ\r\n"},
  };
  PrinterConfiguration kept;
  int n = 0;
  for (const Step& step : steps) {
    ++n;
    if (step.section) f.profiles.WriteString(path, step.section, step.key, step.value);
    EXPECT_EQ(kept.Load(f.system, f.profiles, step.prnType), step.lines) << "step " << n;
    EXPECT_EQ(LoadPrinterConfiguration(f.system, f.profiles, step.prnType), step.lines) << "step " << n;
  }
}

}  // namespace
}  // namespace imptherm
