#include "labels/thermal_jobs_ahead.h"

#include <gtest/gtest.h>

#include <functional>

#include "fakes/fake_platform.h"
#include "platform/error.h"

namespace imptherm {
namespace {

class ThermalJobsAheadTest : public ::testing::Test {
 protected:
  ThermalJobsAheadTest() {
    runLog.SetWorkFolder(f.temp.path());
    run.prnType = "4";
    run.nbEtiquColis = 2;
    run.header.HeaderText = "HEADER TEXT";
  }
  void Add(std::initializer_list<std::string> record) {
    for (const auto& line : record) lines.push_back(line);
  }
  // Before the third job the configuration grows past the room kept for it
  // in front of the labels.
  void EditBeforeJob(int job) {
    if (job != 2) return;
    auto& section = f.profiles.files.begin()->second.begin()->second;
    section[0].second = std::string(600, 'C');
  }
  struct Jobs {
    std::vector<std::string> bytes;
    std::vector<int> labels;
    std::string log;
  };
  // The jobs `build` makes, one each time `take` takes a record.
  Jobs Collect(const std::function<bool()>& take, const std::function<void(JobSink&)>& build) {
    Jobs jobs;
    while (take()) {
      EditBeforeJob(static_cast<int>(jobs.bytes.size()));
      StringJobSink sink;
      build(sink);
      jobs.bytes.push_back(sink.bytes);
      jobs.labels.push_back(sink.labels());
    }
    jobs.log = f.temp.Read("OWTMP.LOG");
    return jobs;
  }
  Jobs OneByOne() {
    RecordLines record;
    std::size_t index = 0;
    return Collect(
        [&] {
          if (index >= lines.size()) return false;
          index = GroupRecordLines(lines, index, record);
          return true;
        },
        [&](JobSink& sink) { BuildThermalJob(ctx, run, record, sink); });
  }
  Jobs Ahead() {
    ThermalJobsAhead ahead(ctx, run, lines);
    return Collect(
        [&] {
          if (ahead.Done()) return false;
          ahead.Next();
          return true;
        },
        [&](JobSink& sink) { ahead.Build(sink); });
  }

  fakes::FakePlatform f;
  RunOptions run;
  RunLog runLog{f.system};
  LabelRecord label;
  ThermalJobCache cache;
  ThermalJobContext ctx{f.platform, runLog, label, &cache};
  DataLines lines;
};

// Every kind of record, one of them of more pieces than are ever waiting,
// and a configuration edited in the middle of the run: the jobs, their
// label counts and the run log are those of jobs built one by one.
TEST_F(ThermalJobsAheadTest, JobsAreThoseBuiltOneByOne) {
  Add({"{KAV", "3", "1", "000123", "12", "7", "00name", "11C123", "}"});
  Add({"{ZAN", "1", "}"});
  Add({"{HOB", "x", "0", "000124", "12", "7", "}"});
  Add({"{K63", "3000", "2", "000125", "99", "7", "05quai \"4\"", "}"});
  Add({"{DN", "1", "0", "000126", "12", "7", "}"});
  Add({"no record"});
  const Jobs expected = OneByOne();
  ASSERT_EQ(expected.bytes.size(), 6u);
  ASSERT_GT(expected.bytes[3].size(), 32 * kJobPieceSize);
  ASSERT_NE(expected.bytes[3].find(std::string(600, 'C')), std::string::npos);
  f.temp.Write("OWTMP.LOG", "");
  f.profiles.files.clear();
  label = {};
  cache = {};

  const Jobs ahead = Ahead();
  EXPECT_EQ(ahead.labels, expected.labels);
  EXPECT_EQ(ahead.log, expected.log);
  ASSERT_EQ(ahead.bytes.size(), expected.bytes.size());
  for (std::size_t k = 0; k < ahead.bytes.size(); ++k) EXPECT_TRUE(ahead.bytes[k] == expected.bytes[k]) << "job " << k;
}

// A run stopped in the middle of a long record, while the rendering thread
// waits for room, ends at once.
TEST_F(ThermalJobsAheadTest, StoppingInTheMiddleOfARecordEndsTheRendering) {
  Add({"{KAV", "20000", "0", "000123", "12", "7", "}"});
  Add({"{KAV", "1", "0", "000124", "12", "7", "}"});
  struct StopAfterOnePiece final : JobSink {
    void Write(std::string_view) override { throw RunAbandoned(kStopAsked); }
  } sink;
  ThermalJobsAhead ahead(ctx, run, lines);
  ahead.Next();
  EXPECT_FALSE(ahead.Done());
  EXPECT_THROW(ahead.Build(sink), RunAbandoned);
}

}  // namespace
}  // namespace imptherm
