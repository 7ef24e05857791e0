#include <gtest/gtest.h>

#include "output/printer_queue.h"
#include "output_fixture.h"

namespace imptherm {
namespace {

using Texts = std::vector<std::string>;

class PrinterChannelTest : public OutputFixture, public ::testing::Test {
 protected:
  PrinterChannelTest() { f.printers.names = {"Bureau-HP", "Quai ZEBRA 1", "zebra-2", "Zebra-3"}; }
};

TEST_F(PrinterChannelTest, FirstPrinterContainingTheNameInAnyCaseTakesTheWholeJob) {
  const std::string job = "N\r\nA10,10,0,3,1,1,N,\"\xC9tiquette\"\r\nP1\r\n";
  EXPECT_EQ(SendJob(ctx, "win", "zeBRA", job), "");
  ASSERT_EQ(f.printers.rawJobs.size(), 1u);
  const auto& printed = f.printers.rawJobs[0];
  EXPECT_EQ(printed.printer, "Quai ZEBRA 1");
  EXPECT_EQ(printed.title, "ImpThermOrvane");
  EXPECT_TRUE(printed.ended);
  EXPECT_EQ(printed.pieces, Texts{job});
  EXPECT_EQ(LogTexts(), Texts{"Printer OK: Quai ZEBRA 1"});
  // The printer that printed stays current for a later sheet print run.
  EXPECT_EQ(printer.Current(), "Quai ZEBRA 1");
}

TEST_F(PrinterChannelTest, NoMatchOrAnEmptyNameGivesTheMessageAndPrintsNothing) {
  for (const char* name : {"", "Epson", "zebra-4"}) {
    EXPECT_EQ(SendJob(ctx, "WIN", name, "N\r\n"), kNoPrinterMessage) << name;
  }
  f.printers.names.clear();
  EXPECT_EQ(SendJob(ctx, "WIN", "zebra", "N\r\n"), kNoPrinterMessage);
  EXPECT_TRUE(f.printers.rawJobs.empty());
  EXPECT_TRUE(LogTexts().empty());
}

TEST_F(PrinterChannelTest, APrinterThatFailsIsLoggedAndTheNextMatchPrints) {
  f.printers.refuseStart = {"Quai ZEBRA 1"};
  f.printers.refuseEnd = {"zebra-2"};
  EXPECT_EQ(SendJob(ctx, "WIN", "ZEBRA", "N\r\nP1\r\n"), "");
  EXPECT_EQ(LogTexts(), (Texts{"Printer OK: Quai ZEBRA 1", "Printer error", "Printer OK: zebra-2", "Printer error",
                               "Printer OK: Zebra-3"}));
  ASSERT_EQ(f.printers.rawJobs.size(), 2u);
  EXPECT_FALSE(f.printers.rawJobs[0].ended);
  EXPECT_EQ(f.printers.rawJobs[1].printer, "Zebra-3");
  EXPECT_TRUE(f.printers.rawJobs[1].ended);
  EXPECT_EQ(printer.Current(), "Zebra-3");
}

TEST_F(PrinterChannelTest, EveryMatchFailingGivesTheMessage) {
  f.printers.refuseStart = {"Quai ZEBRA 1", "zebra-2", "Zebra-3"};
  EXPECT_EQ(SendJob(ctx, "WIN", "zebra", "N\r\n"), kNoPrinterMessage);
  Texts expected;
  for (const char* name : {"Quai ZEBRA 1", "zebra-2", "Zebra-3"}) {
    expected.push_back(std::string("Printer OK: ") + name);
    expected.push_back("Printer error");
  }
  EXPECT_EQ(LogTexts(), expected);
}

std::string Pattern(std::size_t size) {
  std::string job(size, '\0');
  for (std::size_t i = 0; i < size; ++i) job[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return job;
}

TEST_F(PrinterChannelTest, LargeJobsGoOutInPiecesAndArriveWhole) {
  struct Case {
    std::size_t size;
    std::vector<std::size_t> pieces;
  };
  const std::size_t p = kPrinterPieceSize;
  for (const Case& c : {Case{64997, {64997}}, Case{64998, {p}}, Case{64999, {p, 1}}, Case{2 * p + 4, {p, p, 4}}}) {
    f.printers.rawJobs.clear();
    const std::string job = Pattern(c.size);  // NUL bytes included
    EXPECT_EQ(SendJob(ctx, "WIN", "zebra", job), "");
    ASSERT_EQ(f.printers.rawJobs.size(), 1u);
    std::vector<std::size_t> sizes;
    for (const auto& piece : f.printers.rawJobs[0].pieces) sizes.push_back(piece.size());
    EXPECT_EQ(sizes, c.pieces) << c.size;
    EXPECT_TRUE(f.printers.rawJobs[0].bytes() == job) << c.size;
  }
}

TEST_F(PrinterChannelTest, ARefusedPieceIsLoggedAndTheRestStillGoesOut) {
  f.printers.refusePieces = {0};
  const std::string job = Pattern(2 * kPrinterPieceSize + 10);
  EXPECT_EQ(SendJob(ctx, "WIN", "zebra", job), "");
  ASSERT_EQ(f.printers.rawJobs.size(), 1u);
  EXPECT_EQ(f.printers.rawJobs[0].pieces.size(), 3u);
  EXPECT_TRUE(f.printers.rawJobs[0].ended);
  EXPECT_EQ(LogTexts(), (Texts{"Printer OK: Quai ZEBRA 1", "Print error"}));
}

class ParallelPortTest : public OutputFixture, public ::testing::Test {
 protected:
  fakes::FakePortDevices::Device& Lpt1() { return f.portDevices.devices["LPT1"]; }
};

TEST_F(ParallelPortTest, JobIsWrittenInPiecesOf4096AndTheDeviceIsClosed) {
  const std::string job = Pattern(10000);
  Lpt1();
  EXPECT_EQ(SendJob(ctx, "lpt1", "", job), "");
  EXPECT_EQ(Lpt1().offered, (std::vector<std::size_t>{4096, 4096, 1808}));
  EXPECT_TRUE(Lpt1().data == job);
  EXPECT_FALSE(Lpt1().open);
  EXPECT_TRUE(LogTexts().empty());
}

TEST_F(ParallelPortTest, APartWrittenPieceIsCompletedWithoutLosingAByte) {
  Lpt1().script = {{true, 1000, 0}, {true, 4096, 0}, {true, 5, 0}};
  const std::string job = Pattern(9000);
  EXPECT_EQ(SendJob(ctx, "LPT1", "", job), "");
  EXPECT_EQ(Lpt1().offered, (std::vector<std::size_t>{4096, 3096, 4096, 4091, 808}));
  EXPECT_TRUE(Lpt1().data == job);
}

TEST_F(ParallelPortTest, AFailedOrEmptyWriteEndsTheJobWithItsLogLine) {
  Lpt1().script = {{true, 4096, 0}, {false, 0, 5}};
  SendJob(ctx, "LPT1", "", Pattern(12000));
  EXPECT_EQ(Lpt1().data.size(), 4096u);
  EXPECT_EQ(Lpt1().offered.size(), 2u);

  Lpt1() = {};
  Lpt1().script = {{true, 100, 0}, {true, 0, 0}};
  SendJob(ctx, "LPT1", "", Pattern(12000));
  EXPECT_EQ(Lpt1().data.size(), 100u);
  EXPECT_EQ(Lpt1().offered.size(), 2u);
  EXPECT_EQ(LogTexts(), (Texts{"Error WriteFile:5", "Error WriteFile:TimeOut"}));
}

TEST_F(ParallelPortTest, AnEmptyJobWritesNothingAndAMissingDeviceIsLogged) {
  Lpt1();
  EXPECT_EQ(SendJob(ctx, "LPT1", "", ""), "");
  EXPECT_TRUE(Lpt1().offered.empty());
  EXPECT_EQ(SendJob(ctx, "lpt3", "", "N\r\n"), "");
  EXPECT_EQ(SendJob(ctx, "LPT1:", "", "N\r\n"), "");
  EXPECT_EQ(LogTexts(), (Texts{"Error on port LPT3", "Error on port LPT1:"}));
}

}  // namespace
}  // namespace imptherm
