// The "WIN" channel against a private cupsd with raw queues that capture
// every byte they are sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "fakes/output_stages.h"
#include "output_peers_fixture.h"
#include "peers.h"
#include "run/print_run.h"

namespace imptherm {
namespace {

// Listed by CUPS without regard to letter case: Bureau, etiq-Zebra-Quai,
// Zebra-Reserve (a case-sensitive order would put the last one second).
const std::vector<std::string> kQueues{"Zebra-Reserve", "etiq-Zebra-Quai", "Bureau"};

class CupsChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cups_ = new peers::PrivateCups;
    if (cups_->failure().empty())
      for (const auto& q : kQueues) queuesAdded_ = cups_->AddQueue(q) && queuesAdded_;
  }
  static void TearDownTestSuite() {
    delete cups_;
    cups_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(cups_->failure(), "");
    ASSERT_TRUE(queuesAdded_);
    for (const auto& q : kQueues) before_[q] = cups_->Captured(q).size();
  }
  // What the queue received since the test began.
  std::string Received(const std::string& queue) { return cups_->Captured(queue).substr(before_[queue]); }
  bool WaitFor(const std::string& queue, std::size_t size) {
    return cups_->WaitForCapture(queue, before_[queue] + size);
  }

  static peers::PrivateCups* cups_;
  static bool queuesAdded_;
  std::map<std::string, std::size_t> before_;
  RealOutput out;
};

peers::PrivateCups* CupsChannelTest::cups_ = nullptr;
bool CupsChannelTest::queuesAdded_ = true;

TEST_F(CupsChannelTest, JobGoesWholeToTheFirstQueueInCupsOrderThatContainsTheName) {
  EXPECT_EQ(out.printers.List(), (std::vector<std::string>{"Bureau", "etiq-Zebra-Quai", "Zebra-Reserve"}));
  const std::string job =
      "\r\nN\r\nq812\r\nA10,10,0,3,1,1,N,\"R\xE9"
      "ception\"\r\n" +
      BinaryJob(3000) + "P1\r\n";
  EXPECT_EQ(SendJob(out.ctx, "WIN", "zebra", job), "");
  ASSERT_TRUE(WaitFor("etiq-Zebra-Quai", job.size()));
  EXPECT_TRUE(Received("etiq-Zebra-Quai") == job);
  EXPECT_TRUE(out.Logged("Printer OK: etiq-Zebra-Quai"));
  EXPECT_EQ(out.printer.Current(), "etiq-Zebra-Quai");
  // Give a stray copy the time to arrive before looking for it.
  EXPECT_TRUE(SendJob(out.ctx, "WIN", "RESERVE", "N\r\n").empty());
  ASSERT_TRUE(WaitFor("Zebra-Reserve", 3));
  EXPECT_EQ(Received("Zebra-Reserve"), "N\r\n");
  EXPECT_EQ(Received("Bureau"), "");
  EXPECT_EQ(Received("etiq-Zebra-Quai").size(), job.size());
}

TEST_F(CupsChannelTest, JobsLargerThanOnePieceArriveByteForByte) {
  for (std::size_t size : {std::size_t{64998}, std::size_t{2 * 64998 + 4}, std::size_t{300001}}) {
    const std::string job = BinaryJob(size);
    const std::size_t had = Received("Bureau").size();
    EXPECT_EQ(SendJob(out.ctx, "WIN", "bureau", job), "");
    ASSERT_TRUE(WaitFor("Bureau", had + size)) << size;
    EXPECT_TRUE(Received("Bureau").substr(had) == job) << size;
  }
}

TEST_F(CupsChannelTest, NoMatchingQueueGivesTheMessageAndPrintsNothing) {
  EXPECT_EQ(SendJob(out.ctx, "WIN", "", "N\r\n"), kNoPrinterMessage);
  EXPECT_EQ(SendJob(out.ctx, "WIN", "Epson", "N\r\n"), kNoPrinterMessage);
  EXPECT_EQ(out.RunLogText(), "");
  for (const auto& q : kQueues) EXPECT_EQ(Received(q), "") << q;
}

TEST_F(CupsChannelTest, AQueueRefusingJobsIsLoggedAndTheNextMatchPrints) {
  ASSERT_TRUE(cups_->Run({peers::FindProgram("cupsreject"), "Bureau"}));
  const std::string job = "N\r\nP1\r\n";
  const std::string message = SendJob(out.ctx, "WIN", "U", job);
  cups_->Run({peers::FindProgram("cupsaccept"), "Bureau"});
  EXPECT_EQ(message, "");
  ASSERT_TRUE(WaitFor("etiq-Zebra-Quai", job.size()));
  EXPECT_EQ(Received("etiq-Zebra-Quai"), job);
  const std::string log = out.RunLogText();
  const auto bureau = log.find(" Printer OK: Bureau\r\n");
  const auto error = log.find(" Printer error\r\n");
  const auto next = log.find(" Printer OK: etiq-Zebra-Quai\r\n");
  ASSERT_NE(next, std::string::npos);
  EXPECT_LT(bureau, error);
  EXPECT_LT(error, next);
  EXPECT_EQ(Received("Bureau"), "");
}

TEST_F(CupsChannelTest, ThePrintersCommandListsTheQueuesInSearchOrderWithTheDefault) {
  ASSERT_TRUE(cups_->Run({peers::FindProgram("lpadmin"), "-d", "Zebra-Reserve"}));
  std::string listed;
  if (FILE* p = ::popen(IMPTHERM_PROGRAM " printers", "r")) {
    char buf[256];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) listed.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
  }
  EXPECT_EQ(listed, "  Bureau  (raw)\n  etiq-Zebra-Quai  (raw)\n* Zebra-Reserve  (raw)\n");
}

// An empty job (no configuration lines, no label) is no document at all: the
// scheduler would refuse an empty one, and the run goes on with the next
// record.
TEST_F(CupsChannelTest, AnEmptyJobSendsNothingAndTheRunGoesOn) {
  DataLines lines;
  for (const char* job : {"N\r\nA\r\n", "", "N\r\nB\r\n"}) lines.push_back(job);
  const RunResult r = out.PrintToPrinter("bureau", lines);

  EXPECT_EQ(r.outcome, RunOutcome::Completed) << r.detail;
  ASSERT_TRUE(WaitFor("Bureau", 10));
  EXPECT_EQ(Received("Bureau"), "N\r\nA\r\nN\r\nB\r\n");
  EXPECT_EQ(out.RunLogText().find("Printer error"), std::string::npos);
}

}  // namespace
}  // namespace imptherm
