#include "output/serial_port.h"

#include <gtest/gtest.h>

#include "output_fixture.h"
#include "platform/error.h"

namespace imptherm {
namespace {

using Texts = std::vector<std::string>;

class SerialPortTest : public OutputFixture, public ::testing::Test {
 protected:
  fakes::FakeSerialPorts& ports = f.serialPorts;

  // The calls made between the open and the first write, and the calls made
  // for each byte afterwards, as one text per byte.
  Texts CallsPerByte() const {
    Texts perByte;
    std::string current;
    for (const std::string& c : ports.calls) {
      if (c.rfind("open", 0) == 0 || c == "close") continue;
      current += c + " ";
      if (c == "write") {
        perByte.push_back(current);
        current.clear();
      }
    }
    return perByte;
  }
};

TEST_F(SerialPortTest, OsKindsOfTheWindows95FamilyAreOneFourAndFive) {
  std::string family;
  for (int kind = 0; kind <= 7; ++kind) family += IsWin9xFamily(kind) ? '9' : 'n';
  EXPECT_EQ(family, "n9nn99nn");
}

TEST_F(SerialPortTest, JobGoesOutByteByByteEachAfterTheLinesAndTheErrorsWereRead) {
  const std::string job = "N\r\nB10,10,0,1,2,6,80,B,\"1234\"\r\nP1\r\n";
  EXPECT_EQ(SendJob(ctx, "com1", "", job), "");
  EXPECT_EQ(ports.written, job);
  EXPECT_EQ(ports.calls.front(), "open COM1 nt");
  EXPECT_EQ(ports.calls.back(), "close");
  EXPECT_EQ(ports.openPorts, 0);
  const Texts perByte = CallsPerByte();
  ASSERT_EQ(perByte.size(), job.size());
  // The first byte also follows the wait for DSR.
  EXPECT_EQ(perByte[0], "lines lines errors write ");
  for (std::size_t i = 1; i < perByte.size(); ++i) EXPECT_EQ(perByte[i], "lines errors write ") << i;
  EXPECT_EQ(LogTexts(), Texts{"Open COM1"});
  // The drain pause before closing, on the clock.
  EXPECT_EQ(f.system.ticks - ports.byteTicks.back(), kDrainPauseMs);
  EXPECT_TRUE(progress.lines.empty());
}

TEST_F(SerialPortTest, NamesThatAreNotAPortOpenNothingAndAreLogged) {
  for (const char* name : {"COM1:9600", "COM", "COMX", "com9"}) SendJob(ctx, name, "", "N\r\n");
  EXPECT_EQ(LogTexts(), (Texts{"Open COM1:9600", "Pb ouverture COM1:9600", "Open COM", "Pb ouverture COM", "Open COMX",
                               "Pb ouverture COMX", "Open COM9", "Pb ouverture COM9"}));
  EXPECT_TRUE(ports.written.empty());
  // Only a name starting with COM reaches the port.
  SendToSerialPort(ctx, "LPT1", "N\r\n");
  EXPECT_EQ(ports.Count("open LPT1 nt"), 0u);
}

TEST_F(SerialPortTest, UnreadableModemLinesAtOpenSendNothingAndClose) {
  ports.failLineRead = true;
  SendJob(ctx, "COM2", "", "N\r\n");
  EXPECT_EQ(LogTexts(), (Texts{"Open COM2", "Pb ouverture COM2"}));
  EXPECT_EQ(ports.Count("write"), 0u);
  EXPECT_EQ(ports.calls.back(), "close");
  EXPECT_EQ(ports.openPorts, 0);
}

TEST_F(SerialPortTest, EmptyJobOpensNothing) {
  const auto before = f.system.ticks;
  EXPECT_EQ(SendJob(ctx, "COM1", "", ""), "");
  EXPECT_TRUE(ports.calls.empty());
  EXPECT_EQ(f.system.ticks, before);
  EXPECT_TRUE(LogTexts().empty());
}

TEST_F(SerialPortTest, PrinterSwitchedOnLateWaitsWithoutATimeOutLine) {
  const std::uint32_t on = f.system.ticks + 12000;
  ports.lines = {{0, false, false}, {on, true, true}};
  SendJob(ctx, "COM1", "", "AB");
  EXPECT_EQ(ports.written, "AB");
  EXPECT_GT(ports.byteTicks[0], on);
  EXPECT_LT(ports.byteTicks[0], on + 20);
  EXPECT_EQ(LogTexts(), Texts{"Open COM1"});
}

TEST_F(SerialPortTest, PrinterBusyMidJobLogsATimeOutPerPeriodAndLosesNothing) {
  const std::string job = "0123456789";
  const std::uint32_t start = f.system.ticks;
  // Ready for the first bytes, then off line for 5 s, then ready again.
  ports.lines = {{0, true, true}, {start + 4, false, true}, {start + 5004, true, false}, {start + 5504, true, true}};
  SendJob(ctx, "COM1", "", job);
  EXPECT_EQ(ports.written, job);
  const Texts waits{"timeOut COM1", "timeOut COM1"};
  EXPECT_EQ(LogTexts(), (Texts{"Open COM1", "timeOut COM1", "timeOut COM1"}));
  EXPECT_EQ(progress.lines, waits);
  // No byte went out while a line was down.
  for (std::size_t i = 0; i < ports.byteTicks.size(); ++i) {
    EXPECT_FALSE(ports.byteTicks[i] > start + 5 && ports.byteTicks[i] <= start + 5504) << i;
  }
  EXPECT_EQ(ports.Count("rts+"), 0u);
}

TEST_F(SerialPortTest, Windows95FamilyRaisesRtsAroundTheWaitAndSleeps) {
  ports.osKind = 4;
  const std::uint32_t start = f.system.ticks;
  ports.lines = {{0, true, true}, {start + 2, false, true}, {start + 100, true, true}};
  SendJob(ctx, "COM1", "", "XYZ");
  EXPECT_EQ(ports.calls.front(), "open COM1 9x");
  EXPECT_EQ(ports.written, "XYZ");
  EXPECT_EQ(ports.Count("rts+"), 1u);
  EXPECT_EQ(ports.Count("rts-"), 1u);
  const auto raised = std::find(ports.calls.begin(), ports.calls.end(), "rts+");
  EXPECT_LT(raised, std::find(ports.calls.begin(), ports.calls.end(), "rts-"));
  EXPECT_EQ(f.system.sleeps.back(), kDrainPauseMs);
}

TEST_F(SerialPortTest, TransmitBufferFullPausesBeforeTheNextByte) {
  ports.transmitFull = {false, true, false};
  SendJob(ctx, "COM1", "", "abc");
  EXPECT_EQ(ports.written, "abc");
  EXPECT_GE(ports.byteTicks[1] - ports.byteTicks[0], kTransmitFullPauseMs);
  EXPECT_LT(ports.byteTicks[2] - ports.byteTicks[1], 10u);
}

TEST_F(SerialPortTest, ByteNotTakenInTimeIsOfferedAgainNeverTwice) {
  ports.writeTaken = {true, false, false, true, false, true};
  SendJob(ctx, "COM1", "", "hello");
  EXPECT_EQ(ports.written, "hello");
  EXPECT_EQ(ports.Count("write"), 8u);
}

TEST_F(SerialPortTest, DeviceLostMidJobIsLoggedAndTheNextRecordStillGoesOut) {
  ports.failAfter = 3;
  EXPECT_EQ(SendJob(ctx, "COM1", "", "abcdef"), "");
  EXPECT_EQ(ports.written, "abc");
  EXPECT_EQ(ports.openPorts, 0);
  ports.failAfter.reset();
  EXPECT_EQ(SendJob(ctx, "COM1", "", "gh"), "");
  EXPECT_EQ(ports.written, "abcgh");
  EXPECT_EQ(LogTexts(), (Texts{"Open COM1", "Error on port COM1: device gone", "Open COM1"}));
}

TEST_F(SerialPortTest, AbandonDuringAWaitClosesThePortAndReachesTheDriver) {
  ports.lines = {{0, true, false}};
  int events = 0;
  ports.onEvents = [&] {
    if (++events == 50) throw RunAbandoned("interrupted by the user");
  };
  EXPECT_THROW(SendJob(ctx, "COM1", "", "N\r\n"), RunAbandoned);
  EXPECT_EQ(ports.openPorts, 0);
  EXPECT_EQ(ports.calls.back(), "close");
  EXPECT_TRUE(ports.written.empty());

  // The same while the job is being written.
  ports.calls.clear();
  events = 0;
  ports.lines = {{0, true, true}, {f.system.ticks + 3, false, false}};
  EXPECT_THROW(SendJob(ctx, "COM1", "", "0123456789"), RunAbandoned);
  EXPECT_EQ(ports.openPorts, 0);
  EXPECT_EQ(ports.calls.back(), "close");
  EXPECT_FALSE(ports.written.empty());
}

TEST_F(SerialPortTest, NtDelayCountsOnTheClock) {
  const auto before = f.system.ticks;
  DelayMs(f.system, false, 2000);
  EXPECT_EQ(f.system.ticks - before, 2000u);
  DelayMs(f.system, false, 0);
  EXPECT_EQ(f.system.ticks - before, 2000u);
}

}  // namespace
}  // namespace imptherm
