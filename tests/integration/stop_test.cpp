// Ctrl-C in the middle of a long thermal print run to the job file: the
// program stops between two jobs, says so, and exits at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

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

TEST(StopTest, CtrlCStopsAFileRunBetweenTwoJobsWithinHalfASecond) {
  // Identical records make identical jobs, so a cut job shows in the file.
  std::string data = "ETIQUETTES\r\nTRANSPORTS\r\nFR\r\nN\r\n";
  for (int n = 0; n < 300000; ++n) data += "{KAV\r\n1\r\n0\r\n000123\r\n12\r\n4\r\n01AB\r\n11C0012345\r\n}\r\n";
  testing::LoopbackServer server([&](const std::string&, int) {
    return testing::ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(data.size()) + "\r\n\r\n" +
                                data};
  });
  fakes::TempDir dir;
  const std::string jobFile = dir.path() + "etiquettesOrvane.txt";

  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen((dir.path() + "out.txt").c_str(), "w", stdout);
    std::freopen("/dev/null", "r", stdin);
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    ::setenv("ALLUSERSPROFILE", (dir.path() + "profile").c_str(), 1);
    ::execl(IMPTHERM_PROGRAM, IMPTHERM_PROGRAM, "print", "--batch", "--param", "prnType=4", "--param", "fileOut=FILE",
            "--param", ("streamUrl=" + server.url("/labels.txt")).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto giveUp = Clock::now() + std::chrono::seconds(30);
  while (FileSize(jobFile) <= 0 && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ::kill(pid, SIGINT);
  const auto signalled = Clock::now();
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - signalled).count();

  ASSERT_TRUE(WIFEXITED(status)) << dir.Read("out.txt");
  EXPECT_EQ(WEXITSTATUS(status), 5) << dir.Read("out.txt");
  EXPECT_LT(seconds, 0.5);
  const std::string runLog = dir.Read("OWTMP.LOG");
  EXPECT_NE(runLog.find("Impression abandonnee : interrupted by the user"), std::string::npos) << runLog;
  EXPECT_NE(dir.Read("out.txt").find("Impression abandonnee"), std::string::npos);

  // Every record built was sent whole: the file is that many copies of one job.
  const std::string jobs = dir.Read("etiquettesOrvane.txt");
  const std::size_t built = Count(runLog, "fondPage=[{KAV]");
  ASSERT_GT(built, 0u);
  ASSERT_LT(built, 300000u) << "the run was not stopped";
  ASSERT_EQ(jobs.size() % built, 0u);
  const std::string job = jobs.substr(0, jobs.size() / built);
  EXPECT_EQ(job.substr(job.size() - 2), "\r\n");
  std::string expected;
  for (std::size_t k = 0; k < built; ++k) expected += job;
  EXPECT_TRUE(jobs == expected) << "a job was cut";
}

}  // namespace
}  // namespace imptherm
