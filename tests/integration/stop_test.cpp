// A thermal print run cut short: Ctrl-C or SIGTERM between two jobs or in
// the middle of one, and a file size limit reached in the middle of a job.
// The program stops, says so, leaves no cut job in the job file, and exits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "fakes/fake_platform.h"
#include "retrieval/loopback_server.h"

namespace imptherm {
namespace {

using Clock = std::chrono::steady_clock;

long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

constexpr char kHeader[] = "ETIQUETTES\r\nTRANSPORTS\r\nFR\r\nN\r\n";
// One record of as many labels as a count line can say.
constexpr char kEndlessRecord[] = "{KAV\r\n2147483647\r\n0\r\n000123\r\n12\r\n4\r\n01AB\r\n11C0012345\r\n}\r\n";

testing::ServerReply Reply(const std::string& data) {
  return {"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(data.size()) + "\r\n\r\n" + data};
}

// The program printing `streamUrl` with its temp folder in `dir`, its output
// in out.txt there; `fileSizeLimit` bytes (0: none) as `ulimit -f` sets it.
pid_t StartPrint(const fakes::TempDir& dir, const std::string& streamUrl, const std::vector<std::string>& extra,
                 const std::vector<std::pair<std::string, std::string>>& env = {}, rlim_t fileSizeLimit = 0) {
  std::vector<std::string> args = {IMPTHERM_PROGRAM,        "print", "--batch", "--param", "prnType=4", "--param",
                                   "streamUrl=" + streamUrl};
  args.insert(args.end(), extra.begin(), extra.end());
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen((dir.path() + "out.txt").c_str(), "w", stdout);
    std::freopen((dir.path() + "out.txt").c_str(), "a", stderr);
    std::freopen("/dev/null", "r", stdin);
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    ::setenv("ALLUSERSPROFILE", (dir.path() + "profile").c_str(), 1);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    if (fileSizeLimit) {
      const rlimit limit{fileSizeLimit, fileSizeLimit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(IMPTHERM_PROGRAM, argv.data());
    ::_exit(127);
  }
  return pid;
}

// Sends `signal` to the run and waits for it to end, then checks that it
// stopped as a person's stop ends a run: exit 5 within half a second, said in
// the run log.
void StopAndExpectStopped(pid_t pid, int signal, const fakes::TempDir& dir) {
  ::kill(pid, signal);
  const auto signalled = Clock::now();
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - signalled).count();
  ASSERT_TRUE(WIFEXITED(status)) << dir.Read("out.txt");
  EXPECT_EQ(WEXITSTATUS(status), 5) << dir.Read("out.txt");
  EXPECT_LT(seconds, 0.5);
  const std::string runLog = dir.Read("OWTMP.LOG");
  EXPECT_NE(runLog.find("Impression abandonnee : interrupted by the user"), std::string::npos) << runLog;
}

TEST(StopTest, AStopInsideOneRecordEndsTheRunWithinHalfASecond) {
  const std::string data = std::string(kHeader) + kEndlessRecord;
  testing::LoopbackServer server([&](const std::string&, int) { return Reply(data); });
  const std::string kEarlierJobs = "N\r\nP\r\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int signal;
  };
  const Case cases[] = {
      {"job file", {"--param", "fileOut=FILE"}, SIGTERM},
      {"parallel port", {"--param", "fileOut=LPT1"}, SIGINT},
      {"preview", {"--param", "fileOut=FILE", "--preview", "preview.pdf"}, SIGTERM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fakes::TempDir dir;
    const std::string jobFile = dir.path() + "etiquettesOrvane.txt";
    const std::string port = dir.path() + "lpt1";
    dir.Write("etiquettesOrvane.txt", kEarlierJobs);
    dir.Write("lpt1", "");
    std::vector<std::string> args = c.args;
    if (args.back() == "preview.pdf") args.back() = dir.path() + "preview.pdf";
    const pid_t pid = StartPrint(dir, server.url("/labels.txt"), args, {{"IMPTHERM_LPT1", port}});
    // Well inside the record: its first labels have gone out.
    const auto giveUp = Clock::now() + std::chrono::seconds(30);
    while (dir.Read("OWTMP.LOG").find("fondPage") == std::string::npos && Clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    StopAndExpectStopped(pid, c.signal, dir);
    // The cut job is not left in the job file.
    EXPECT_TRUE(dir.Read("etiquettesOrvane.txt") == kEarlierJobs) << FileSize(jobFile);
    // The port got whole labels: its last line is a label's print command.
    if (args.back() == "fileOut=LPT1") {
      ASSERT_GT(FileSize(port), 0);
      const std::string sent = dir.Read("lpt1");
      EXPECT_EQ(sent.substr(sent.size() - 5), "\r\nP\r\n");
    }
  }
}

TEST(StopTest, AFileSizeLimitInsideAJobIsAFullDisk) {
  std::string data = kHeader;
  data += "{KAV\r\n3000\r\n0\r\n000123\r\n12\r\n4\r\n01AB\r\n11C0012345\r\n}\r\n";
  testing::LoopbackServer server([&](const std::string&, int) { return Reply(data); });
  fakes::TempDir dir;
  const std::string kEarlierJobs = "N\r\nP\r\n";
  dir.Write("etiquettesOrvane.txt", kEarlierJobs);
  const pid_t pid = StartPrint(dir, server.url("/labels.txt"), {"--param", "fileOut=FILE"}, {}, 1 << 20);
  int status = 0;
  ::waitpid(pid, &status, 0);

  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 6) << dir.Read("out.txt");
  EXPECT_NE(dir.Read("out.txt").find("File too large"), std::string::npos) << dir.Read("out.txt");
  const std::string runLog = dir.Read("OWTMP.LOG");
  EXPECT_NE(runLog.find("Erreur : the job of record 1 was not written to"), std::string::npos) << runLog;
  EXPECT_TRUE(dir.Read("etiquettesOrvane.txt") == kEarlierJobs);
}

TEST(StopTest, CtrlCStopsAFileRunBetweenTwoJobsWithinHalfASecond) {
  // Identical records make identical jobs, so a cut job shows in the file.
  std::string data = kHeader;
  for (int n = 0; n < 300000; ++n) data += "{KAV\r\n1\r\n0\r\n000123\r\n12\r\n4\r\n01AB\r\n11C0012345\r\n}\r\n";
  testing::LoopbackServer server([&](const std::string&, int) { return Reply(data); });
  fakes::TempDir dir;
  const std::string jobFile = dir.path() + "etiquettesOrvane.txt";
  const pid_t pid = StartPrint(dir, server.url("/labels.txt"), {"--param", "fileOut=FILE"});
  const auto giveUp = Clock::now() + std::chrono::seconds(30);
  while (FileSize(jobFile) <= 0 && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  StopAndExpectStopped(pid, SIGINT, dir);
  EXPECT_NE(dir.Read("out.txt").find("Impression abandonnee"), std::string::npos);

  // Every record built was sent whole, but for one the stop may have cut,
  // which left nothing: the file is copies of one job.
  const std::string jobs = dir.Read("etiquettesOrvane.txt");
  const std::size_t built = Count(dir.Read("OWTMP.LOG"), "fondPage=[{KAV]");
  ASSERT_LT(built, 300000u) << "the run was not stopped";
  ASSERT_GT(jobs.size(), 64u);
  const std::size_t second = jobs.find(jobs.substr(0, 64), 1);
  const std::string job = jobs.substr(0, second == std::string::npos ? jobs.size() : second);
  EXPECT_EQ(job.substr(job.size() - 2), "\r\n");
  const std::size_t sent = jobs.size() / job.size();
  EXPECT_TRUE(sent == built || sent + 1 == built) << sent << " jobs, " << built << " built";
  std::string expected;
  for (std::size_t k = 0; k < sent; ++k) expected += job;
  EXPECT_TRUE(jobs == expected) << "a job was cut";
}

}  // namespace
}  // namespace imptherm
