// The thermal path below the download: data lines grouped into records, each
// built into a job and sent to the job file, through the module's own stages.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <regex>

#include "barcode/code128.h"
#include "fakes/fake_platform.h"
#include "output/send_job.h"
#include "platform/error.h"
#include "retrieval/label_data.h"
#include "run/core_stages.h"
#include "unit/labels/label_files.h"

namespace imptherm {
namespace {

TEST(ThermalPipelineTest, LabelDataFileBecomesTheExpectedJobFile) {
  fakes::FakePlatform f;
  Module module(f.platform);
  module.stages = MakeCoreStages(module);
  module.runLog.SetWorkFolder(f.temp.path());
  RunOptions run{"4", "FILE", "", 2, 0, {}};
  run.header.HeaderText = "HEADER TEXT";

  // The four header lines are the download's business; here they are skipped.
  const RecordLines file = testdata::Lines("labels/two_records.txt");
  ASSERT_EQ(file[1], "HEADER TEXT");
  DataLines lines;
  for (std::size_t i = 4; i < file.size(); ++i) lines.push_back(file[i]);

  int records = 0;
  for (const auto jobs = module.stages->StartThermalJobs(run, lines); !jobs->Done(); ++records) {
    jobs->Next();
    EXPECT_EQ(PrintThermalRecord(*module.stages, run, *jobs).message, "");
  }
  EXPECT_EQ(records, 2);
  EXPECT_EQ(f.temp.Read(kJobFileName), testdata::Epl("labels/two_records_jobs.epl"));
  EXPECT_EQ(f.temp.Read("OWTMP.LOG"), "08/12/2026 10:11:12 fondPage=[{KAV]\r\n08/12/2026 10:11:12 fondPage=[{ZAN]\r\n");
}

// Lines cut by the rendering thread as it goes make the same job file as
// lines cut before the run: records across the places where one block of
// cutting ends, junk between records, and a last record without its end.
TEST(ThermalPipelineTest, LinesCutAsTheRunGoesMakeTheSameJobs) {
  const std::string text = testdata::Read("labels/two_records.txt");
  const std::size_t body = text.find("{");
  std::string data = text.substr(0, body);
  for (int copy = 0; copy < 600; ++copy) data += text.substr(body) + (copy % 7 ? "" : "junk\r\n");
  data += "{KAV\r\n1\r\n0\r\n000123\r\n12\r\n1\r\n";
  std::string jobs[2];
  int records[2] = {0, 0};
  for (int lazily = 0; lazily < 2; ++lazily) {
    fakes::FakePlatform f;
    Module module(f.platform);
    module.stages = MakeCoreStages(module);
    module.runLog.SetWorkFolder(f.temp.path());
    LargeBuffer buffer(data.size());
    std::memcpy(buffer.data(), data.data(), data.size());
    LabelFileResult file = lazily ? ReadLabelDataLazily(std::move(buffer), data.size()) : ReadLabelData(data);
    ASSERT_TRUE(file.accepted);
    const RunOptions run{"4", "FILE", "", 1, 0, file.header};
    for (const auto run_jobs = module.stages->StartThermalJobs(run, file.lines); !run_jobs->Done(); ++records[lazily]) {
      run_jobs->Next();
      ASSERT_EQ(PrintThermalRecord(*module.stages, run, *run_jobs).message, "");
    }
    jobs[lazily] = f.temp.Read(kJobFileName);
  }
  EXPECT_EQ(records[0], 2 * 600 + 1);
  EXPECT_EQ(records[1], records[0]);
  EXPECT_GT(jobs[0].size(), 3 * 65536u);
  EXPECT_TRUE(jobs[1] == jobs[0]);
}

// Where the jobs go is worked out again for each print run: a run after
// the temp folder changed writes its job file in the new one.
TEST(ThermalPipelineTest, EachRunWritesItsJobFileInItsOwnTempFolder) {
  fakes::FakePlatform f;
  Module module(f.platform);
  module.stages = MakeCoreStages(module);
  const RecordLines file = testdata::Lines("labels/two_records.txt");
  DataLines lines;
  for (std::size_t i = 4; i < file.size(); ++i) lines.push_back(file[i]);
  const RunOptions run{"4", "FILE", "", 1, 0, {}};
  fakes::TempDir second;
  for (const std::string& folder : {f.temp.path(), second.path()}) {
    f.system.tempPath = folder;
    // The download begins the run.
    f.network.replies.push_back({"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"});
    fakes::FakeMemo memo;
    module.stages->DownloadLabelData("srv/get", "", memo);
    for (const auto jobs = module.stages->StartThermalJobs(run, lines); !jobs->Done();) {
      jobs->Next();
      ASSERT_EQ(PrintThermalRecord(*module.stages, run, *jobs).message, "");
    }
  }
  EXPECT_NE(second.Read(kJobFileName), "");
  EXPECT_EQ(second.Read(kJobFileName), f.temp.Read(kJobFileName));
}

// The demonstration data: every kind prints its labels, the preset label
// once, the baggage file's day number is 999, and every barcode lies whole
// on the label as a printer encodes it (turned half a turn, it runs left
// from its origin, a module one narrow bar wide).
TEST(ThermalPipelineTest, SampleDataPrintsEveryRecordKind) {
  struct Case {
    const char* file;
    bool baggage;
    int records;
    int labels;
    std::vector<const char*> present;
  };
  const Case cases[] = {
      {"labels.txt",
       false,
       7,
       13,
       {"X410,615,15,800,840", "X024,615,15,414,840", "LO490,695,75,75", "LO412,618,385,80", "B780,510,2,1,3,3,200,B,",
        "\"7 / 5\"", "\"99  0700 004518 002 7 10000042 007 690 1\"", "Foret  Noel"}},
      {"baggage.txt", true, 2, 3, {"\"99 0106007701999", "\"12000900770212000101\""}},
  };
  for (const Case& c : cases) {
    fakes::FakePlatform f;
    Module module(f.platform);
    module.stages = MakeCoreStages(module);
    module.runLog.SetWorkFolder(f.temp.path());
    RunOptions run{"3", "", "", 1, 0, {}};
    run.header.BaggageMode = c.baggage;
    const RecordLines file = testdata::Lines("../../data/sample/" + std::string(c.file));
    DataLines lines;
    for (std::size_t i = 4; i < file.size(); ++i) lines.push_back(file[i]);
    RecordLines record;
    StringJobSink sink;
    for (std::size_t index = 0; index < lines.size();) {
      index = module.stages->GroupRecordLines(lines, index, record);
      module.stages->BuildThermalJob(run, record, sink);
    }
    const std::string& jobs = sink.bytes;
    int labels = 0;
    for (std::size_t at = 0; (at = jobs.find("N\r\nLO", at)) != std::string::npos; ++at) ++labels;
    EXPECT_EQ(labels, c.labels) << c.file;
    int records = 0;
    for (std::size_t at = 0; (at = jobs.find("S6\r\n", at)) != std::string::npos; ++at) ++records;
    EXPECT_EQ(records, c.records) << c.file;
    for (const char* text : c.present) EXPECT_NE(jobs.find(text), std::string::npos) << c.file << ": " << text;
    static const std::regex barcode(R"re(\nB(\d+),\d+,2,1,(\d+),\d+,\d+,[NB],"([^"\r]*)"\r)re");
    int barcodes = 0;
    for (std::sregex_iterator m(jobs.begin(), jobs.end(), barcode), end; m != end; ++m, ++barcodes) {
      int modules = 0;
      for (int value : EncodeCode128Minimal((*m)[3].str()))
        for (char w : Code128Pattern(value)) modules += w - '0';
      EXPECT_LE(modules * std::stoi((*m)[2]), std::stoi((*m)[1])) << c.file << ": " << (*m)[3];
    }
    EXPECT_EQ(barcodes, c.labels) << c.file;
  }
}

// A disk that fills up in the middle of a job: the file size limit makes the
// system refuse the write part way, as a full disk does.
TEST(ThermalPipelineTest, AJobTheFileCannotTakeIsCutOutWholeAndNamed) {
  fakes::FakePlatform f;
  Module module(f.platform);
  module.stages = MakeCoreStages(module);
  module.runLog.SetWorkFolder(f.temp.path());
  const std::string earlier = "N\r\nP\r\n";
  f.temp.Write(kJobFileName, earlier);
  const RecordLines file = testdata::Lines("labels/two_records.txt");
  DataLines lines;
  for (std::size_t i = 4; i < file.size(); ++i) lines.push_back(file[i]);

  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = earlier.size() + 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const RunOptions run{"4", "FILE", "", 0, 0, {}};
  const auto jobs = module.stages->StartThermalJobs(run, lines);
  std::string error;
  try {
    jobs->Next();
    PrintThermalRecord(*module.stages, run, *jobs);
  } catch (const PlatformError& e) {
    error = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_NE(error.find("the job of record 1 was not written"), std::string::npos) << error;
  EXPECT_NE(error.find("back to its 6 bytes"), std::string::npos) << error;
  EXPECT_EQ(f.temp.Read(kJobFileName), earlier);
}

}  // namespace
}  // namespace imptherm
