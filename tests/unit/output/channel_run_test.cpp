// The output channels inside a whole print run: what the person sees while the
// serial printer is not ready, what abandoning does, and the outcome of a run
// whose channel did not take every job.
#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "fakes/fake_platform.h"
#include "fakes/output_stages.h"
#include "platform/error.h"
#include "run/print_run.h"

namespace imptherm {
namespace {

class Params final : public ParameterSource {
 public:
  std::map<std::string, std::string> values{{"prnType", "4"}, {"fileOut", "COM1"}, {"streamUrl", "http://srv/x"}};
  std::optional<std::string> Read(const std::string& name) override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
};

class ChannelRunTest : public ::testing::Test {
 protected:
  ChannelRunTest() {
    DataLines lines;
    lines.push_back("first job");
    lines.push_back("second job");
    module.stages = std::make_unique<fakes::OutputStages>(module, lines);
  }
  std::string RunLogText() const { return f.temp.Read("OWTMP.LOG"); }

  fakes::FakePlatform f;
  Module module{f.platform};
  Params params;
};

TEST_F(ChannelRunTest, TimeOutLinesShowInTheProgressWindowAsTheyAreLogged) {
  const auto now = f.system.ticks;
  f.serialPorts.lines = {{0, true, true}, {now + 3, false, false}, {now + 4503, true, true}};
  const RunResult r = PrintRun(module).Load(params);
  EXPECT_EQ(r.outcome, RunOutcome::Completed);
  EXPECT_EQ(f.serialPorts.written, "first jobsecond job");
  ASSERT_EQ(f.ui.windows.size(), 1u);
  const auto& shown = f.ui.windows[0].added;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "timeOut COM1"), 2);
  const std::string log = RunLogText();
  EXPECT_NE(log.find(" timeOut COM1\r\n"), std::string::npos);
  EXPECT_EQ(module.progress, nullptr);
}

TEST_F(ChannelRunTest, AbandoningWhileWaitingEndsTheRunWithThePortClosed) {
  f.serialPorts.lines = {{0, false, false}};
  int events = 0;
  f.serialPorts.onEvents = [&] {
    if (++events == 1000) throw RunAbandoned("interrupted by the user");
  };
  const RunResult r = PrintRun(module).Load(params);
  EXPECT_EQ(r.outcome, RunOutcome::Abandoned);
  EXPECT_EQ(f.serialPorts.openPorts, 0);
  EXPECT_TRUE(f.serialPorts.written.empty());
  EXPECT_EQ(f.serialPorts.Count("open COM1 nt"), 1u);
  EXPECT_NE(RunLogText().find("abandonnee"), std::string::npos);
  EXPECT_FALSE(f.ui.windows[0].open);
}

// The page is told nothing and every record is tried, as the control does;
// the outcome counts only the labels a channel took and names the first
// record that did not go out, and why.
TEST_F(ChannelRunTest, ARecordNoChannelTookMakesTheOutcomeAnError) {
  struct Case {
    const char* fileOut;
    std::deque<PortDevice::WriteResult> lptWrites;
    int status, labels;
    std::size_t failedRecord;
    const char* says;  // in the line print gives on standard error
  } cases[] = {
      {"COM1", {}, 0, 2, 0, ""},
      {"USB001", {}, 6, 0, 1, "error: nothing was sent of the 2 records: fileOut \"USB001\" names no output channel"},
      {"COM3", {}, 6, 0, 1, "error: nothing was sent of the 2 records: the serial port COM3 could not be opened"},
      {"LPT1", {{false, 0, 5}}, 6, 1, 1, "error: record 1 was not sent: writing to LPT1 failed: system error 5"},
  };
  for (const Case& c : cases) {
    fakes::FakePlatform machine;
    Module run{machine.platform};
    DataLines lines;
    lines.push_back("first job");
    lines.push_back("second job");
    run.stages = std::make_unique<fakes::OutputStages>(run, lines);
    machine.portDevices.devices["LPT1"].script = c.lptWrites;
    params.values["fileOut"] = c.fileOut;
    const RunResult r = PrintRun(run).Load(params);
    EXPECT_EQ(OutcomeStatus(r.outcome), c.status) << c.fileOut;
    EXPECT_EQ(r.labels, c.labels) << c.fileOut;
    EXPECT_EQ(r.failedRecord, c.failedRecord) << c.fileOut;
    const std::string said = OutcomeMessage(r);
    // A run that printed everything says nothing; the others start with their reason.
    EXPECT_EQ(said.empty(), *c.says == '\0') << said;
    EXPECT_EQ(said.find(c.says), 0u) << said;
    EXPECT_EQ(machine.ui.last().added, std::vector<std::string>{"Impression en cours"}) << c.fileOut;
    EXPECT_TRUE(machine.system.sleeps.empty() || machine.system.sleeps.back() != 2000) << c.fileOut;
  }
}

}  // namespace
}  // namespace imptherm
