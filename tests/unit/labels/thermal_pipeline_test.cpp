// The thermal path below the download: data lines grouped into records, each
// built into a job and sent to the job file, through the module's own stages.
#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "output/send_job.h"
#include "run/core_stages.h"
#include "unit/labels/label_files.h"

namespace imptherm {
namespace {

TEST(ThermalPipelineTest, LabelDataFileBecomesTheExpectedJobFile) {
  fakes::FakePlatform f;
  Module module(f.platform);
  module.stages = MakeCoreStages(module);
  module.state.WorkFolder = f.temp.path();
  module.state.HeaderText = "HEADER TEXT";
  module.state.nbEtiquColis = 2;

  // The four header lines are the download's business; here they are skipped.
  const RecordLines file = testdata::Lines("labels/two_records.txt");
  ASSERT_EQ(file[1], "HEADER TEXT");
  DataLines lines;
  for (std::size_t i = 4; i < file.size(); ++i) lines.push_back(file[i]);

  RecordLines record;
  int jobs = 0;
  for (std::size_t index = 0; index < lines.size(); ++jobs) {
    index = module.stages->GroupRecordLines(lines, index, record);
    EXPECT_EQ(module.stages->SendJob("FILE", "", module.stages->BuildThermalJob("4", record)), "");
  }
  EXPECT_EQ(jobs, 2);
  EXPECT_EQ(f.temp.Read(kJobFileName), testdata::Epl("labels/two_records_jobs.epl"));
  EXPECT_EQ(f.temp.Read("OWTMP.LOG"),
            "08/12/2026 10:11:12 fondPage=[{KAV]\r\n08/12/2026 10:11:12 fondPage=[{ZAN]\r\n");
}

}  // namespace
}  // namespace imptherm
