// A print server that cannot be reached, or that takes the connection and
// never answers: every wait on it ends, at its limit or at a stop, and the
// server is named as such, never taken for a machine without printers.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "output/send_job.h"
#include "output_peers_fixture.h"
#include "platform/error.h"
#include "retrieval/loopback_server.h"
#include "support/free_port.h"
#include "support/run_program.h"

namespace imptherm {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Listens on loopback and never accepts: the kernel takes the connection,
// nobody ever answers it.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 16) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port_ = ntohs(a.sin_port);
  }
  ~SilentServer() { ::close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// libcups is pointed at `server` for the life of the object.
struct CupsServerSetting {
  explicit CupsServerSetting(const std::string& server) { cupsSetServer(server.c_str()); }
  ~CupsServerSetting() { cupsSetServer(nullptr); }
};

TEST(PrintServerTest, AClosedOrSilentServerIsNamedWithinItsLimits) {
  SilentServer silent;
  ASSERT_NE(silent.port(), 0);
  struct Case {
    const char* name;
    int port;
    const char* says;
  };
  const Case cases[] = {
      {"closed port", testing::FreeLoopbackPort(), "cannot be reached"},
      {"silent server", silent.port(), "did not answer within 0.3 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string server = "127.0.0.1:" + std::to_string(c.port);
    CupsServerSetting setting(server);
    RealOutput out;
    out.printers.limits = {300ms, 300ms};
    const auto start = Clock::now();
    try {
      out.printers.List();
      ADD_FAILURE() << "listed";
    } catch (const PlatformError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(server), std::string::npos) << what;
      EXPECT_NE(what.find(c.says), std::string::npos) << what;
    }
    // The page's message stays the channel's own; the run log names the server.
    EXPECT_EQ(SendJob(out.ctx, "WIN", "zebra", "N\r\nP\r\n"), kNoPrinterMessage);
    // libcups waits a whole second for an answer's first byte, whatever the limit.
    EXPECT_LT(Clock::now() - start, 4s);
    const std::string log = out.RunLogText();
    const std::size_t line = log.find("Printer error: ");
    ASSERT_NE(line, std::string::npos) << log;
    EXPECT_NE(log.find(server, line), std::string::npos) << log;
    EXPECT_NE(log.find(c.says, line), std::string::npos) << log;
  }

  // The program: `printers` says the server cannot be reached and fails.
  const std::string closed = "127.0.0.1:" + std::to_string(cases[0].port);
  const testing::ProgramResult r = testing::RunProgram({"printers"}, {{"CUPS_SERVER", closed}, {"LC_ALL", "C"}});
  EXPECT_EQ(r.exitStatus, 6) << r.err;
  EXPECT_NE(r.err.find("the print server " + closed + " cannot be reached"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("no printer"), std::string::npos) << r.err;

  // Sheets drawn into a PDF file need no print server: the run log names
  // the one that cannot be asked, and the sheets are drawn all the same.
  std::ifstream in(std::string(IMPTHERM_SOURCE_DIR) + "/data/sample/sheet_parcels.txt", std::ios::binary);
  const std::string sheets((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  testing::LoopbackServer data([&](const std::string&, int) {
    return testing::ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(sheets.size()) + "\r\n\r\n" +
                                sheets};
  });
  fakes::TempDir dir;
  const testing::ProgramResult sheet = testing::RunProgram(
      {"print", "--batch", "--sheet-pdf", dir.path() + "sheets.pdf", "--param", "prnType=0", "--param", "fileOut=WIN",
       "--param", "streamUrl=" + data.url("/sheets.txt")},
      {{"CUPS_SERVER", closed}, {"TMPDIR", dir.path()}, {"ALLUSERSPROFILE", dir.path() + "profile"}});
  EXPECT_EQ(sheet.exitStatus, 0) << sheet.err;
  EXPECT_EQ(dir.Read("sheets.pdf").rfind("%PDF", 0), 0u);
  EXPECT_NE(dir.Read("OWTMP.LOG").find("Printer error: the print server " + closed + " cannot be reached"),
            std::string::npos)
      << dir.Read("OWTMP.LOG");
}

TEST(PrintServerTest, AStopEndsAWaitOnASilentServerWithinHalfASecond) {
  SilentServer silent;
  ASSERT_NE(silent.port(), 0);
  fakes::TempDir dir;
  const std::string server = "127.0.0.1:" + std::to_string(silent.port());
  // The thermal record goes to "WIN": listing the printers waits on the server.
  const std::string data = "ETIQUETTES\r\nT\r\nFR\r\nN\r\n{KAV\r\n1\r\n0\r\n000123\r\n12\r\n4\r\n}\r\n";
  testing::LoopbackServer labels([&](const std::string&, int) {
    return testing::ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(data.size()) + "\r\n\r\n" +
                                data};
  });
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen((dir.path() + "out.txt").c_str(), "w", stdout);
    std::freopen((dir.path() + "out.txt").c_str(), "a", stderr);
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    ::setenv("ALLUSERSPROFILE", (dir.path() + "profile").c_str(), 1);
    ::setenv("CUPS_SERVER", server.c_str(), 1);
    ::execl(IMPTHERM_PROGRAM, IMPTHERM_PROGRAM, "print", "--batch", "--param", "prnType=4", "--param", "fileOut=WIN",
            "--param", "prnName=zebra", "--param", ("streamUrl=" + labels.url("/labels.txt")).c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto giveUp = Clock::now() + 30s;
  while (dir.Read("OWTMP.LOG").find("fondPage") == std::string::npos && Clock::now() < giveUp)
    std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(500ms);
  ::kill(pid, SIGTERM);
  const auto signalled = Clock::now();
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_LT(Clock::now() - signalled, 500ms);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 5) << dir.Read("out.txt");
  EXPECT_NE(dir.Read("OWTMP.LOG").find("Impression abandonnee : interrupted by the user"), std::string::npos)
      << dir.Read("OWTMP.LOG");
}

}  // namespace
}  // namespace imptherm
