// The serial channel inside a whole print run: what the person sees while the
// printer is not ready, and what abandoning does.
#include <gtest/gtest.h>

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

class SerialRunTest : public ::testing::Test {
 protected:
  SerialRunTest() {
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

TEST_F(SerialRunTest, TimeOutLinesShowInTheProgressWindowAsTheyAreLogged) {
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

TEST_F(SerialRunTest, AbandoningWhileWaitingEndsTheRunWithThePortClosed) {
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

}  // namespace
}  // namespace imptherm
