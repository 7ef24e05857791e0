// The "WIN" channel against an EPL2 label printer of a printer application
// (LPrint), reached directly and through a cupsd queue, and against a raw
// queue: the device must get the job's bytes, and a job the printer drops
// must fail the run.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "fakes/output_stages.h"
#include "output_peers_fixture.h"
#include "peers.h"
#include "run/print_run.h"

namespace imptherm {
namespace {

const char kLabelPrinter[] = "Etiq";

class LabelPrinterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    lprint_ = new peers::PrivateLPrint(kLabelPrinter);
    // cupsd passes a job on to an IPP printer in the format it came in,
    // once it knows the format's name.
    // Each server is set up while CUPS_SERVER names it.
    eplCups_ = new peers::PrivateCups("application/vnd.eltron-epl\n");
    ready_ = lprint_->failure().empty() && eplCups_->failure().empty() &&
             eplCups_->AddQueue("Etiq-ipp", lprint_->printerUri(), "raw");
    rawCups_ = new peers::PrivateCups;
    ready_ =
        ready_ && rawCups_->failure().empty() && rawCups_->AddQueue("Etiq-raw") &&
        rawCups_->AddQueue("Etiq-broken", "refuse:", "raw") &&
        rawCups_->Run({peers::FindProgram("lpadmin"), "-p", "Etiq-broken", "-o", "printer-error-policy=abort-job"});
  }
  static void TearDownTestSuite() {
    delete rawCups_;
    delete eplCups_;
    delete lprint_;
  }
  void SetUp() override {
    ASSERT_EQ(lprint_->failure() + eplCups_->failure() + rawCups_->failure(), "");
    ASSERT_TRUE(ready_);
    lprint_->Clear();
  }
  void TearDown() override {
    ::unsetenv("CUPS_SERVER");
    cupsSetServer(nullptr);
  }
  static void UseServer(const std::string& server) {
    ::setenv("CUPS_SERVER", server.c_str(), 1);
    cupsSetServer(server.c_str());
  }

  static peers::PrivateLPrint* lprint_;
  static peers::PrivateCups *eplCups_, *rawCups_;
  static bool ready_;
};

peers::PrivateLPrint* LabelPrinterTest::lprint_ = nullptr;
peers::PrivateCups* LabelPrinterTest::eplCups_ = nullptr;
peers::PrivateCups* LabelPrinterTest::rawCups_ = nullptr;
bool LabelPrinterTest::ready_ = false;

// Starts with CR LF N, as jobs built from a configuration do: LPrint would
// not take it for EPL2 by its first bytes.
std::string LabelJob() { return "\r\nN\r\nq812\r\n" + BinaryJob(70000) + "P1\r\n"; }

TEST_F(LabelPrinterTest, EveryRouteToTheDeviceDeliversTheJobByteForByte) {
  struct Route {
    const char* name;
    std::function<std::string()> server;
    const char* queue;
    JobInput input;
    std::function<bool(std::size_t)> wait;
    std::function<std::string()> printed;
  };
  const auto lprintWait = [](std::size_t n) { return lprint_->WaitForPrinted(n); };
  const auto lprintPrinted = [] { return lprint_->Printed(); };
  const Route routes[] = {
      {"LPrint directly", [] { return lprint_->server(); }, kLabelPrinter, JobInput::Epl2, lprintWait, lprintPrinted},
      {"cupsd ipp queue to LPrint", [] { return eplCups_->server(); }, "Etiq-ipp", JobInput::Epl2, lprintWait,
       lprintPrinted},
      {"cupsd raw queue", [] { return rawCups_->server(); }, "Etiq-raw", JobInput::Raw,
       [](std::size_t n) { return rawCups_->WaitForCapture("Etiq-raw", n); },
       [] { return rawCups_->Captured("Etiq-raw"); }},
  };
  const std::string job = LabelJob();
  for (const Route& route : routes) {
    SCOPED_TRACE(route.name);
    UseServer(route.server());
    RealOutput out;
    EXPECT_EQ(out.printers.InputOf(route.queue), route.input);
    EXPECT_EQ(SendJob(out.ctx, "WIN", route.queue, job), "");
    // The job has ended at the printer when SendJob returns.
    EXPECT_TRUE(route.wait(job.size()));
    EXPECT_TRUE(route.printed() == job) << route.printed().size();
    EXPECT_EQ(out.RunLogText().find("Printer error"), std::string::npos) << out.RunLogText();
    EXPECT_EQ(out.RunLogText().find("Printer queue"), std::string::npos) << out.RunLogText();
  }
}

// A printer that fails the job it took makes the run fail and say why.
TEST_F(LabelPrinterTest, AJobThePrinterAbortsFailsTheRun) {
  UseServer(rawCups_->server());
  RealOutput out;
  DataLines lines;
  for (int i = 0; i < 2; ++i) lines.push_back(LabelJob());
  const RunResult r = out.PrintToPrinter("broken", lines);

  EXPECT_EQ(r.outcome, RunOutcome::ErrorContained) << r.detail;
  const std::string log = out.RunLogText();
  EXPECT_NE(log.find(" Printer error: job "), std::string::npos) << log;
  EXPECT_NE(log.find(" on Etiq-broken aborted: Out of labels"), std::string::npos) << log;
  // The first job failed: the second was never sent.
  EXPECT_EQ(log.find("Printer OK: Etiq-broken"), log.rfind("Printer OK: Etiq-broken")) << log;
}

// A queue that holds its jobs (a stopped printer) makes the job queued, not
// failed, after the wait; the next job to it is not waited for again.
TEST_F(LabelPrinterTest, AJobStillPendingAfterTheWaitIsQueuedAndTheRunGoesOn) {
  UseServer(rawCups_->server());
  const std::size_t before = rawCups_->Captured("Etiq-raw").size();
  ASSERT_TRUE(rawCups_->Run({peers::FindProgram("cupsdisable"), "Etiq-raw"}));
  RealOutput out;
  out.printers.jobWaitLimit = std::chrono::milliseconds(1500);
  EXPECT_EQ(SendJob(out.ctx, "WIN", "Etiq-raw", "N\r\nP1\r\n"), "");
  const auto second = std::chrono::steady_clock::now();
  EXPECT_EQ(SendJob(out.ctx, "WIN", "Etiq-raw", "N\r\nP2\r\n"), "");
  EXPECT_LT(std::chrono::steady_clock::now() - second, std::chrono::milliseconds(1000));
  rawCups_->Run({peers::FindProgram("cupsenable"), "Etiq-raw"});
  const std::string log = out.RunLogText();
  EXPECT_NE(log.find(" on Etiq-raw is queued, still pending"), std::string::npos) << log;
  EXPECT_EQ(log.find("Printer error"), std::string::npos) << log;
  ASSERT_TRUE(rawCups_->WaitForCapture("Etiq-raw", before + 14));
  EXPECT_EQ(rawCups_->Captured("Etiq-raw").substr(before), "N\r\nP1\r\nN\r\nP2\r\n");
}

}  // namespace
}  // namespace imptherm
