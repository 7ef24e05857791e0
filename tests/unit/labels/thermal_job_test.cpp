#include "labels/thermal_job.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "platform/error.h"
#include "unit/labels/label_files.h"

namespace imptherm {
namespace {

constexpr char kModel4[] = "N\r\nS3\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,24\r\n";
constexpr char kCopyBars[] = "LS800,090,20,10,270\r\nLS800,560,20,10,740\r\n";

class ThermalJobTest : public ::testing::Test {
 protected:
  ThermalJobTest() {
    runLog.SetWorkFolder(f.temp.path());
    run.header.HeaderText = "HEADER TEXT";
  }
  std::string Build(const std::string& prnType, const RecordLines& record) {
    run.prnType = prnType;
    return BuildThermalJob(ctx, run, record);
  }
  static RecordLines Record(const std::string& kind, const std::string& parcels, const std::string& pallets,
                            std::initializer_list<std::string> fields = {}) {
    RecordLines r{kind, parcels, pallets, "000123", "12", "7"};
    r.insert(r.end(), fields);
    return r;
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  }
  std::string RunLog() const { return f.temp.Read("OWTMP.LOG"); }

  fakes::FakePlatform f;
  RunOptions run;
  imptherm::RunLog runLog{f.system};
  LabelRecord label;
  ThermalJobContext ctx{f.platform, runLog, label};
};

TEST_F(ThermalJobTest, TheSixtySevenLineExample) {
  run.nbEtiquColis = 2;
  RecordLines record = testdata::Lines("labels/shared_record.txt");
  record[0] = "{K63";
  EXPECT_EQ(Build("4", record), testdata::Epl("labels/k63_example_job.epl"));
  EXPECT_EQ(RunLog(), "08/12/2026 10:11:12 fondPage=[{K63]\r\n");
}

TEST_F(ThermalJobTest, ParcelAndPalletLabelsTakeTheirOwnCopyCounts) {
  run.nbEtiquColis = 3;
  run.nbEtiquPalettes = 1;
  const std::string job = Build("4", Record("{KAV", "2", "1"));
  EXPECT_EQ(job.rfind(kModel4, 0), 0u);
  EXPECT_EQ(Count(job, "\r\nN\r\n"), 3);
  EXPECT_EQ(Count(job, std::string("P\r\n") + kCopyBars + "P2\r\n"), 2);
  EXPECT_EQ(Count(job, kCopyBars), 2);
  for (const char* counter : {"\"1 / 3\"", "\"2 / 3\"", "\"3 / 3\""}) EXPECT_EQ(Count(job, counter), 1) << counter;
  // The pallet label ends the job with its single print.
  const std::string end = "A475,030,2,4,1,1,N,\"\"\r\nP\r\n";
  EXPECT_EQ(job.substr(job.size() - end.size()), end);
}

TEST_F(ThermalJobTest, PalletOnlyRecord) {
  run.nbEtiquColis = 5;
  run.nbEtiquPalettes = 2;
  const std::string job = Build("4", Record("{K63", "0", "2"));
  EXPECT_EQ(Count(job, std::string("P\r\n") + kCopyBars + "P1\r\n"), 2);
  EXPECT_EQ(Count(job, "P4"), 0);
}

TEST_F(ThermalJobTest, CopyCountsOfOneOrLessAddNoCopyBlock) {
  for (int copies : {-1, 0, 1}) {
    run.nbEtiquColis = copies;
    const std::string job = Build("1", Record("{DUN", "2", "0"));
    EXPECT_EQ(Count(job, "LS800"), 0) << copies;
    EXPECT_EQ(Count(job, "\r\nP\r\n"), 2) << copies;
  }
}

TEST_F(ThermalJobTest, CountsThatAreNotNumbersGiveConfigurationAndTheLogLine) {
  EXPECT_EQ(Build("4", Record("{DN", "two", "1 ")), kModel4);
  EXPECT_EQ(RunLog(), "08/12/2026 10:11:12 fondPage=[{DUN]\r\n");
}

TEST_F(ThermalJobTest, ShortRecordGivesConfigurationOnlyAndNoLogLine) {
  EXPECT_EQ(Build("4", {"{KAV", "1", "0", "000123", "12"}), kModel4);
  EXPECT_EQ(Build("4", {}), kModel4);
  EXPECT_EQ(RunLog(), "");
}

TEST_F(ThermalJobTest, PresetLabelPrintsOnceWithItsOwnNumber) {
  run.nbEtiquColis = 2;
  const std::string job = Build("7", Record("{KAV", "4", "0", {"37 7", "39PRESET123"}));
  EXPECT_EQ(job.rfind("N\r\nLO70,628,291,16\r\n", 0), 0u);
  EXPECT_EQ(Count(job, "\r\nP\r\n"), 1);
  EXPECT_EQ(Count(job, "\"7 / 4\""), 1);
  EXPECT_EQ(Count(job, "B780,536,2,1,3,3,248,N,\"PRESET123\"\r\n"), 1);
  EXPECT_EQ(job.substr(job.size() - 3 - 2 * 21 - 4), std::string("P\r\n") + kCopyBars + "P1\r\n");
}

TEST_F(ThermalJobTest, PresetLabelStillNeedsALabel) {
  EXPECT_EQ(Build("7", Record("{KAV", "0", "0", {"37 7", "39PRESET123"})), "");
}

TEST_F(ThermalJobTest, UnknownKindGivesBlankLabels) {
  run.nbEtiquColis = 2;
  EXPECT_EQ(Build("9", Record("{XYZ", "2", "0")),
            std::string("N\r\nP\r\n") + kCopyBars + "P1\r\nN\r\nP\r\n" + kCopyBars + "P1\r\n");
}

TEST_F(ThermalJobTest, BaggageRunsUseDay999InTheBarcode) {
  run.header.BaggageMode = true;
  const std::string job = Build("9", Record("{KAV", "1", "0", {"1414/02/2024", "32 45"}));
  EXPECT_EQ(label.DayNumber, 999);
  RecordLines longForm = Record("{KAV", "1", "0", {"1414/02/2024"});
  longForm[4] = "99";
  EXPECT_NE(Build("9", longForm).find("\"99     000123999"), std::string::npos);
}

TEST_F(ThermalJobTest, ALargeRecordPrintsEveryLabelInBoundedPieces) {
  struct CountingSink final : JobSink {
    int labels = 0;
    std::size_t largest = 0;
    void Write(std::string_view piece) override {
      largest = std::max(largest, piece.size());
      labels += Count(std::string(piece), "\r\nP\r\n");
    }
  } sink;
  run.prnType = "4";
  BuildThermalJob(ctx, run, Record("{KAV", "25000", "1"), sink);
  EXPECT_EQ(sink.labels, 25001);
  EXPECT_LT(sink.largest, kJobPieceSize + 4096);
}

TEST_F(ThermalJobTest, ConfigurationErrorsReachTheCaller) {
  f.profiles.writable = false;
  EXPECT_THROW(Build("4", Record("{KAV", "1", "0")), PlatformError);
  EXPECT_EQ(RunLog(), "");
}

TEST_F(ThermalJobTest, LabelRecordKeepsTheLastLabelBuilt) {
  Build("9", Record("{KAV", "3", "0", {"00name"}));
  EXPECT_EQ(label.Fields[30], "3");
  EXPECT_EQ(label.Fields[0], "name");
  // A short record leaves the header of the one before in place.
  Build("9", {"{ZAN"});
  EXPECT_EQ(label.RecordKind, "{KAV");
}

}  // namespace
}  // namespace imptherm
