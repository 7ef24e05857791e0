// The serial channel over socat pseudo-terminals and the parallel channel
// over a FIFO and a plain file standing in for the device.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "fakes/output_stages.h"
#include "output_peers_fixture.h"
#include "peers.h"
#include "platform/posix/interrupt.h"
#include "run/print_run.h"

namespace imptherm {
namespace {
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The mapping of a port name lasts for one test.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    ::setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() { ::unsetenv(name_.c_str()); }

 private:
  std::string name_;
};

// socat gives the port a pseudo-terminal and writes all it receives to a
// file. The test keeps the port's side open as well, so that a job that
// closes the port does not end socat.
class SocatPort {
 public:
  explicit SocatPort(const fs::path& dir) : link_((dir / "com").string()), capture_((dir / "capture").string()) {
    socat_ = std::make_unique<peers::PeerProcess>(
        std::vector<std::string>{peers::FindProgram("socat"), "-u", "PTY,link=" + link_ + ",raw,echo=0",
                                 "CREATE:" + capture_},
        (dir / "socat.out").string());
    if (peers::WaitUntil([&] { return fs::exists(link_); }, 10s))
      holder_ = ::open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  }
  ~SocatPort() {
    socat_.reset();
    if (holder_ >= 0) ::close(holder_);
  }
  bool ready() const { return holder_ >= 0; }
  const std::string& link() const { return link_; }
  std::string Captured(std::size_t size) const {
    peers::WaitUntil(
        [&] {
          std::error_code ec;
          return fs::file_size(capture_, ec) >= size && !ec;
        },
        20s);
    return fakes::ReadFile(capture_);
  }

 private:
  std::string link_, capture_;
  std::unique_ptr<peers::PeerProcess> socat_;
  int holder_ = -1;
};

class SerialPtyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(peers::FindProgram("socat"), "") << "socat is needed (Debian package socat)"; }
  RealOutput out;
};

TEST_F(SerialPtyTest, JobsReachThePseudoTerminalUnchangedOneAfterTheOther) {
  SocatPort port(out.dir.path());
  ASSERT_TRUE(port.ready());
  ScopedEnv map("IMPTHERM_COM1", port.link() + ",lines-on");
  const std::string first = "\r\nN\r\nB10,10,0,1,2,6,80,B,\"0123\"\r\nP1\r\n";
  const std::string second = BinaryJob(5000);
  EXPECT_EQ(SendJob(out.ctx, "com1", "", first), "");
  EXPECT_EQ(SendJob(out.ctx, "COM1", "", second), "");
  EXPECT_TRUE(port.Captured(first.size() + second.size()) == first + second);
  const std::string log = out.RunLogText();
  EXPECT_EQ(log.find("Pb ouverture"), std::string::npos);
  EXPECT_EQ(log.find("timeOut"), std::string::npos);
  EXPECT_TRUE(out.Logged("Open COM1"));
}

TEST_F(SerialPtyTest, PortsThatCannotOpenSendNothingAndAreLogged) {
  SocatPort port(out.dir.path());
  ASSERT_TRUE(port.ready());
  // A pseudo-terminal has no modem lines: only the user's word makes it usable.
  ScopedEnv map("IMPTHERM_COM1", port.link());
  ScopedEnv missing("IMPTHERM_COM2", out.dir.path() + "no-such-device");
  for (const char* name : {"COM1", "COM1:9600", "COM2", "COMX"}) SendJob(out.ctx, name, "", "N\r\nP1\r\n");
  for (const char* name : {"COM1", "COM1:9600", "COM2", "COMX"})
    EXPECT_TRUE(out.Logged(std::string("Pb ouverture ") + name)) << name;
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(port.Captured(0), "");
}

// Descriptors open on pseudo-terminals: the serial port under test. (The
// logs may stay open between two lines; they are not what is counted.)
int OpenTerminals() {
  int n = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
    n += fs::read_symlink(entry.path(), ec).string().rfind("/dev/pts/", 0) == 0;
  return n;
}

class Params final : public ParameterSource {
 public:
  std::optional<std::string> Read(const std::string& name) override {
    if (name == "prnType") return "4";
    if (name == "fileOut") return "COM1";
    if (name == "streamUrl") return "http://127.0.0.1/labels";
    return std::nullopt;
  }
};

// Ctrl-C while the printer takes nothing: the run ends as abandoned, the
// port is closed and the run log says so. In a child process, since the
// interrupt stays asked for once given.
void AbandonedRun(const std::string& dir) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) std::_Exit(10);
  ::setenv("IMPTHERM_COM1", (std::string(::ptsname(master)) + ",lines-on").c_str(), 1);
  ::setenv("TMPDIR", dir.c_str(), 1);
  posix::InstallInterruptHandler();
  posix::PosixSystem system;
  posix::PosixSerialPorts serial(system);
  posix::PosixPortDevices devices(system);
  fakes::FakePlatform fakes;
  Platform platform = fakes.With({.system = &system, .serialPorts = &serial, .portDevices = &devices});
  Module module(platform);
  DataLines lines;
  lines.push_back(BinaryJob(4 << 20));  // far more than the terminal buffers
  module.stages = std::make_unique<fakes::OutputStages>(module, lines);
  std::thread([] {
    std::this_thread::sleep_for(500ms);
    ::kill(::getpid(), SIGINT);
  }).detach();
  const int before = OpenTerminals();
  Params params;
  const RunResult r = PrintRun(module).Load(params);
  const std::string log = fakes::ReadFile(dir + "/OWTMP.LOG");
  if (r.outcome != RunOutcome::Abandoned) std::_Exit(11);
  if (log.find("Open COM1") == std::string::npos || log.find("abandonnee") == std::string::npos) std::_Exit(12);
  if (OpenTerminals() != before) std::_Exit(13);
  std::_Exit(5);
}

TEST(SerialAbandonTest, CtrlCDuringAJobEndsTheRunWithThePortClosed) {
  fakes::TempDir dir;
  EXPECT_EXIT(AbandonedRun(dir.path()), ::testing::ExitedWithCode(5), "");
}

class ParallelDeviceTest : public ::testing::Test {
 protected:
  RealOutput out;
};

TEST_F(ParallelDeviceTest, JobReachesAFifoStandingInForTheDeviceWhole) {
  const std::string fifo = out.dir.path() + "lp";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ScopedEnv map("IMPTHERM_LPT1", fifo);
  std::string received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char buf[1000];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) received.append(buf, n);
    ::close(fd);
  });
  const std::string job = BinaryJob(10000);
  EXPECT_EQ(SendJob(out.ctx, "lpt1", "", job), "");
  reader.join();
  EXPECT_TRUE(received == job);
  EXPECT_EQ(out.RunLogText(), "");
}

TEST_F(ParallelDeviceTest, AFileStandingInForTheDeviceKeepsEveryJob) {
  const std::string file = out.dir.path() + "lp-file";
  out.dir.Write("lp-file", "earlier");
  ScopedEnv map("IMPTHERM_LPT2", file);
  EXPECT_EQ(SendJob(out.ctx, "LPT2", "", "N\r\n"), "");
  EXPECT_EQ(SendJob(out.ctx, "LPT2", "", BinaryJob(9000)), "");
  EXPECT_TRUE(fakes::ReadFile(file) == "earlierN\r\n" + BinaryJob(9000));
}

TEST_F(ParallelDeviceTest, ADeviceThatDoesNotExistIsLogged) {
  ScopedEnv map("IMPTHERM_LPT3", out.dir.path() + "absent");
  EXPECT_EQ(SendJob(out.ctx, "LPT3", "", "N\r\n"), "");
  EXPECT_EQ(SendJob(out.ctx, "lpt1:", "", "N\r\n"), "");
  EXPECT_TRUE(out.Logged("Error on port LPT3"));
  EXPECT_TRUE(out.Logged("Error on port LPT1:"));
  EXPECT_FALSE(fs::exists(out.dir.path() + "absent"));
}

}  // namespace
}  // namespace imptherm
