#include "output/send_job.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "fakes/fake_platform.h"
#include "platform/error.h"

namespace imptherm {
namespace {

class SendJobTest : public ::testing::Test {
 protected:
  SendJobTest() { runLog.SetWorkFolder(f.temp.path()); }
  fakes::FakePlatform f;
  RunLog runLog{f.system};
  PrinterObject printer{f.printers};
  OutputContext ctx{f.platform, runLog, printer};
};

TEST_F(SendJobTest, FileChannelAppendsJobsUnchangedInAnyLetterCase) {
  const std::string job1 = "\r\nN\r\nA10,10,0,1,1,1,N,\"\xE9t\xE9\"\r\nP1\r\n";
  const std::string job2 = std::string("N\r\nP1\r\n\0x", 9);
  EXPECT_EQ(SendJob(ctx, "FILE", "", job1), "");
  EXPECT_EQ(SendJob(ctx, "file", "ignored", job2), "");
  EXPECT_EQ(f.temp.Read(kJobFileName), job1 + job2);
}

TEST_F(SendJobTest, FileChannelKeepsEarlierJobsWhenTheAppendFails) {
  // The job file is a folder: nothing can be written, nothing may be lost.
  std::filesystem::create_directory(f.temp.path() + kJobFileName);
  f.temp.Write(std::string(kJobFileName) + "/earlier", "jobs");
  EXPECT_THROW(SendJob(ctx, "FILE", "", "N\r\n"), PlatformError);
  EXPECT_EQ(f.temp.Read(std::string(kJobFileName) + "/earlier"), "jobs");
}

TEST_F(SendJobTest, UnknownChannelSendsNothingAndSaysNothing) {
  for (const char* out : {"USB001", "", "FILE ", "WINDOWS", "CO"}) {
    EXPECT_EQ(SendJob(ctx, out, "Zebra", "N\r\n"), "") << out;
  }
  EXPECT_FALSE(std::filesystem::exists(f.temp.path() + kJobFileName));
  EXPECT_FALSE(std::filesystem::exists(f.temp.path() + "OWTMP.LOG"));
}

}  // namespace
}  // namespace imptherm
