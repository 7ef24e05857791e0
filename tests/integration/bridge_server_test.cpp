// `impthermorvane serve` over plain HTTP on loopback: a run from an allowed
// origin against `impthermorvane print`, the refusals that must write
// nothing, the queue's share of an origin and the size limits, a page's stop
// in a download or a device wait, a clean stop; and the bridge server itself
// with small limits: the connections a local process cannot hold, a printer
// list the print server keeps waiting.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "bridge/runs.h"
#include "bridge/server.h"
#include "fakes/fake_platform.h"
#include "retrieval/loopback_server.h"
#include "retrieval/squid_proxy.h"
#include "run/credentials.h"
#include "support/folder_server.h"
#include "support/free_port.h"
#include "support/run_program.h"

namespace imptherm {
namespace {

namespace fs = std::filesystem;

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void Send(int fd, const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

// One answer: its header, and its body when it says how long that is (an
// event stream's does not).
std::string ReadOne(int fd) {
  std::string answer;
  char byte;
  while (answer.find("\r\n\r\n") == std::string::npos && ::recv(fd, &byte, 1, 0) == 1) answer += byte;
  std::smatch length;
  if (std::regex_search(answer, length, std::regex("\r\nContent-Length: ([0-9]+)\r\n", std::regex::icase)))
    for (auto n = std::stoul(length[1]); n > 0 && ::recv(fd, &byte, 1, 0) == 1; --n) answer += byte;
  return answer;
}

// Whether the other side closes the connection within `limit`, with
// nothing more to read.
bool ClosedWithin(int fd, std::chrono::milliseconds limit) {
  timeval t{static_cast<time_t>(limit.count() / 1000), static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
  char byte;
  return ::recv(fd, &byte, 1, 0) == 0;
}

bool StillOpen(int fd) {
  char byte;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) < 0 && errno == EAGAIN;
}

// Sends one request and reads the answer until the server closes.
std::string Exchange(int port, const std::string& request) {
  const int fd = Connect(port);
  if (fd < 0) return "";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char block[4096];
  for (ssize_t n; (n = ::recv(fd, block, sizeof block, 0)) > 0;) answer.append(block, static_cast<std::size_t>(n));
  ::close(fd);
  return answer;
}

// The start of a command that runs as `user` (root can change to any): none
// for the test's own user.
std::vector<std::string> AsUser(const std::string& user) {
  if (user.empty()) return {};
  const passwd* account = ::getpwnam(user.c_str());
  return {"/usr/bin/setpriv", "--reuid=" + user, "--regid=" + std::to_string(account ? account->pw_gid : 65534),
          "--clear-groups"};
}

constexpr char kPage[] = "https://labels.example.com";

class BridgeServerTest : public ::testing::Test {
 protected:
  void Start(const std::string& origin, const std::string& lpt1 = "") {
    std::map<std::string, std::string> env = Folders();
    if (!lpt1.empty()) env["IMPTHERM_LPT1"] = lpt1;
    port = Serve({"--port", "0", "--config", dir.path() + "bridge.json", "--allow-origin", origin}, env);
    ASSERT_NE(port, 0) << dir.Read("log.txt");
  }
  std::map<std::string, std::string> Folders() {
    fs::create_directories(dir.path() + "tmp");
    return {{"TMPDIR", dir.path() + "tmp"}, {"ALLUSERSPROFILE", dir.path() + "profile"}};
  }
  // The server itself in a child, for kPage, with `limits`; its printer list
  // and its worker wait until Release() or the stop.
  void StartServer(bridge::ServerOptions limits) {
    port = Spawn(
        [&] {
          static std::atomic<bool> stopping{false};
          auto hold = [released = dir.path() + "released"] {
            while (!stopping && !fs::exists(released)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
          };
          limits.port = 0;
          limits.printers = [hold, calls = dir.path() + "printer-calls"] {
            std::ofstream(calls, std::ios::app) << "listed\n";
            hold();
            return std::vector<bridge::PrinterEntry>{{"Zebra", true}};
          };
          limits.onWorkerRun = [hold](const std::atomic<bool>* stop) {
            if (stop) hold();
          };
          limits.onStop = [] { stopping = true; };
          int status = 1;
          {
            bridge::ConfigStore config(dir.path() + "bridge.json", {bridge::RuleForOrigin(kPage)},
                                       bridge::LogToStandardError);
            fakes::FakePlatform fake;
            status = bridge::RunBridgeServer(limits, config, fake.platform);
          }
          ::_exit(status);
        },
        Folders());
    ASSERT_NE(port, 0) << dir.Read("log.txt");
  }
  void Release() { std::ofstream(dir.path() + "released"); }
  // Starts `impthermorvane serve` with `args`, as `user` when one is named
  // (setpriv, as root); see Spawn.
  int Serve(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const std::string& name = "", const std::string& user = "") {
    std::vector<std::string> argv = AsUser(user);
    argv.push_back(IMPTHERM_PROGRAM);
    argv.push_back("serve");
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    return Spawn([&] { ::execv(pointers[0], pointers.data()); }, env, name);
  }
  // A bridge in a child process that runs `child` with `env`, its output in
  // NAMEout.txt and NAMElog.txt; the port it says it listens on, 0 when it
  // says none.
  int Spawn(const std::function<void()>& child, const std::map<std::string, std::string>& env,
            const std::string& name = "") {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (const auto& [key, value] : env) ::setenv(key.c_str(), value.c_str(), 1);
      std::freopen("/dev/null", "r", stdin);
      std::freopen((dir.path() + name + "out.txt").c_str(), "w", stdout);
      std::freopen((dir.path() + name + "log.txt").c_str(), "w", stderr);
      child();
      ::_exit(127);
    }
    pids_.push_back(pid);
    const std::regex listening("listening on http://127.0.0.1:([0-9]+)");
    for (int i = 0; i < 400; ++i) {
      std::smatch m;
      const std::string out = dir.Read(name + "out.txt");
      if (std::regex_search(out, m, listening)) return std::stoi(m[1]);
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return 0;
  }
  // SIGTERM stops every bridge started, a running print run included, with
  // status 0.
  void Stop() {
    for (const pid_t pid : pids_) ::kill(pid, SIGTERM);
    for (const pid_t pid : pids_) {
      int status = -1;
      for (int i = 0; i < 400 && ::waitpid(pid, &status, WNOHANG) != pid; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
      if (!WIFEXITED(status)) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << dir.Read("log.txt");
    }
    pids_.clear();
  }
  void TearDown() override {
    // A data server that never answers is let go only after the bridge stopped.
    struct LetGo {
      std::atomic<bool>& flag;
      ~LetGo() { flag = true; }
    } letGoAtEnd{letGo};
    Stop();
  }
  std::string Request(const std::string& method, const std::string& target, const std::string& headers,
                      const std::string& body = "") {
    return Exchange(port, method + " " + target + " HTTP/1.1\r\nConnection: close\r\n" + headers +
                              "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  std::string Host() const { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }
  fakes::TempDir dir;
  int port = 0;
  std::atomic<bool> letGo{false};
  std::unique_ptr<testing::LoopbackServer> data;  // outlives the bridge

 private:
  std::vector<pid_t> pids_;
};

std::string Status(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

TEST_F(BridgeServerTest, AllowedRunWritesTheJobFileOfPrint) {
  fs::create_directories(dir.path() + "www");
  fs::copy_file(std::string(IMPTHERM_TEST_DATA) + "/labels/two_records.txt", dir.path() + "www/labels.txt");
  testing::FolderServer site(dir.path() + "www", dir.path() + "site.log");
  ASSERT_NE(site.port(), 0);
  const std::string origin = "http://127.0.0.1:" + std::to_string(site.port());
  Start(origin);
  const std::string streamUrl = origin + "/labels.txt";
  const std::string json = "Origin: " + origin + "\r\nContent-Type: application/json\r\n";
  const std::string queued =
      Request("POST", "/v1/print-runs", Host() + json,
              R"({"params":{"prnType":"4","fileOut":"FILE","nbEtiquColis":"2","streamUrl":")" + streamUrl + "\"}}");
  std::smatch id;
  ASSERT_TRUE(std::regex_search(queued, id, std::regex("\"id\":\"([0-9a-f]+)\""))) << queued;
  const std::string events =
      Request("GET", "/v1/print-runs/" + id[1].str() + "/events", Host() + "Origin: " + origin + "\r\n");
  std::smatch outcome;
  ASSERT_TRUE(std::regex_search(events, outcome, std::regex("event: outcome\ndata: (.*)\n"))) << events;
  EXPECT_EQ(events.find("event: caption\ndata: {\"text\":\"ImpThermOrvane.ocx"), events.find("\r\n\r\n") + 4);
  EXPECT_NE(events.find("event: log\ndata: {\"text\":\"fondPage=[{ZAN]\"}"), std::string::npos) << events;
  // The page hears of the run's files by name, not of the user's folders.
  EXPECT_NE(events.find("{\"text\":\"Fichier : DataThermOrvane.txt\"}"), std::string::npos) << events;
  EXPECT_EQ(events.find(dir.path()), std::string::npos) << events;

  std::string why;
  const std::string jobs = testing::ReferenceJobFile(streamUrl, dir.path() + "ref", why);
  ASSERT_FALSE(jobs.empty()) << why;
  EXPECT_EQ(dir.Read("tmp/etiquettesOrvane.txt"), jobs);
  // Every "P" prints one label, "Pn" n more.
  int labels = 0;
  const std::regex print("\nP([0-9]*)\r");
  for (auto it = std::sregex_iterator(jobs.begin(), jobs.end(), print); it != std::sregex_iterator(); ++it)
    labels += (*it)[1].length() ? std::stoi((*it)[1]) : 1;
  EXPECT_EQ(outcome[1].str(),
            R"({"failedRecord":null,"labels":)" + std::to_string(labels) + R"(,"message":"","status":0})");
}

TEST_F(BridgeServerTest, RefusedRequestsWriteNothing) {
  fs::create_directories(dir.path() + "www");
  fs::copy_file(std::string(IMPTHERM_TEST_DATA) + "/labels/two_records.txt", dir.path() + "www/labels.txt");
  testing::FolderServer site(dir.path() + "www", dir.path() + "site.log");
  const std::string origin = "http://127.0.0.1:" + std::to_string(site.port());
  Start(origin);
  const std::string run = R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + origin + "/labels.txt\"}}";
  struct Case {
    std::string headers, status, code;
  } cases[] = {
      {"Host: labels.example.com:" + std::to_string(port) + "\r\nOrigin: " + origin +
           "\r\nContent-Type: application/json\r\n",
       "HTTP/1.1 403 Forbidden", "host-refused"},
      {Host() + "Origin: " + origin + "\r\nContent-Type: text/plain\r\n", "HTTP/1.1 415 Unsupported Media Type",
       "content-type"},
      {Host() + "Origin: http://127.0.0.1:1\r\nContent-Type: application/json\r\n", "HTTP/1.1 403 Forbidden",
       "origin-refused"},
  };
  for (const Case& c : cases) {
    const std::string answer = Request("POST", "/v1/print-runs", c.headers, run);
    EXPECT_EQ(Status(answer), c.status) << answer;
    EXPECT_NE(answer.find("\"code\":\"" + c.code + "\""), std::string::npos) << answer;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(dir.path() + "tmp/etiquettesOrvane.txt"));
  EXPECT_FALSE(fs::exists(dir.path() + "tmp/OWTMP.LOG"));
  EXPECT_EQ(dir.Read("site.log").find("GET /labels.txt"), std::string::npos);
}

// The page's own host redirects to one it could not name: the run fails as a
// download does and the other host hears nothing.
TEST_F(BridgeServerTest, ARedirectLeadsNowhereThePageCouldNotName) {
  testing::LoopbackServer intranet(
      [](const std::string&, int) { return testing::ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nno"}; });
  data = std::make_unique<testing::LoopbackServer>([&](const std::string&, int) {
    return testing::ServerReply{"HTTP/1.0 302 Found\r\nLocation: " + intranet.url("/secret") +
                                "\r\nContent-Length: 0\r\n\r\n"};
  });
  const std::string origin = "http://127.0.0.1:" + std::to_string(data->port());
  Start(origin);
  const std::string queued =
      Request("POST", "/v1/print-runs", Host() + "Origin: " + origin + "\r\nContent-Type: application/json\r\n",
              R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + data->url("/d") + "\"}}");
  std::smatch id;
  ASSERT_TRUE(std::regex_search(queued, id, std::regex("\"id\":\"([0-9a-f]+)\""))) << queued;
  const std::string events =
      Request("GET", "/v1/print-runs/" + id[1].str() + "/events", Host() + "Origin: " + origin + "\r\n");
  EXPECT_NE(events.find("event: outcome\ndata: {\"failedRecord\":null,\"labels\":0,\"message\":"), events.npos)
      << events;
  EXPECT_NE(events.find("\"status\":3}"), events.npos) << events;
  EXPECT_EQ(intranet.accepted(), 0);
  EXPECT_FALSE(fs::exists(dir.path() + "tmp/etiquettesOrvane.txt"));
}

// Origin A's data server sets a cookie; origin B's later run, whose data
// server shares the host name, neither sends it nor shows it to its page.
TEST_F(BridgeServerTest, OneOriginsCookiesNeverReachAnother) {
  testing::LoopbackServer a([](const std::string&, int) {
    return testing::ServerReply{
        "HTTP/1.0 404 Not Found\r\nSet-Cookie: SESSION_A=a1b2; Path=/\r\n"
        "Content-Length: 0\r\n\r\n"};
  });
  std::mutex heardMutex;
  std::string heard;
  testing::LoopbackServer b([&](const std::string& request, int) {
    std::lock_guard<std::mutex> lock(heardMutex);
    heard += request;
    return testing::ServerReply{"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
  });
  const std::string originA = "http://127.0.0.1:" + std::to_string(a.port());
  const std::string originB = "http://127.0.0.1:" + std::to_string(b.port());
  // The bridge reads no configuration that other users could change.
  fs::permissions(dir.path(), fs::perms(0700));
  std::ofstream(dir.path() + "bridge.json") << R"({"origins":[{"origin":")" << originB << "\"}]}";
  Start(originA);
  auto runOf = [&](const std::string& origin, const std::string& url) {
    const std::string queued =
        Request("POST", "/v1/print-runs", Host() + "Origin: " + origin + "\r\nContent-Type: application/json\r\n",
                R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + url + "\"}}");
    std::smatch id;
    if (!std::regex_search(queued, id, std::regex("\"id\":\"([0-9a-f]+)\""))) return queued;
    return Request("GET", "/v1/print-runs/" + id[1].str() + "/events", Host() + "Origin: " + origin + "\r\n");
  };
  const std::string eventsA = runOf(originA, a.url("/d"));
  ASSERT_NE(eventsA.find("event: outcome"), eventsA.npos) << eventsA;
  const std::string eventsB = runOf(originB, b.url("/d"));
  ASSERT_NE(eventsB.find("event: outcome"), eventsB.npos) << eventsB;
  EXPECT_EQ(eventsB.find("SESSION_A"), eventsB.npos) << eventsB;
  std::lock_guard<std::mutex> lock(heardMutex);
  EXPECT_NE(heard.find("GET /d"), heard.npos);
  EXPECT_EQ(heard.find("SESSION_A"), heard.npos) << heard;
}

// Through a proxy that asks for Basic credentials: the page's proxy user is
// in the run log file, as the control writes it, but in no event the page
// sees, and the password is in neither.
TEST_F(BridgeServerTest, TheProxyUserReachesTheRunLogFileButNoEvent) {
  fs::create_directories(dir.path() + "www");
  fs::copy_file(std::string(IMPTHERM_TEST_DATA) + "/labels/two_records.txt", dir.path() + "www/labels.txt");
  testing::FolderServer site(dir.path() + "www", dir.path() + "site.log");
  ASSERT_NE(site.port(), 0);
  testing::SquidProxy squid({"basic"});
  const std::string origin = "http://127.0.0.1:" + std::to_string(site.port());
  fs::permissions(dir.path(), fs::perms(0700));
  std::ofstream(dir.path() + "bridge.json") << R"({"origins":[{"origin":")" << origin << R"(","streamHosts":[")"
                                            << origin.substr(7) << R"(",")" << squid.address() << "\"]}]}";
  Start("http://127.0.0.1:1");
  const std::string queued =
      Request("POST", "/v1/print-runs", Host() + "Origin: " + origin + "\r\nContent-Type: application/json\r\n",
              R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + origin +
                  R"(/labels.txt","proxyEnable":"TRUE","proxyHttp":")" + squid.address() + R"(","proxyUser":")" +
                  ScrambleCredential("jean") + R"(","proxyPassword":")" + ScrambleCredential("secret") + "\"}}");
  std::smatch id;
  ASSERT_TRUE(std::regex_search(queued, id, std::regex("\"id\":\"([0-9a-f]+)\""))) << queued;
  const std::string events =
      Request("GET", "/v1/print-runs/" + id[1].str() + "/events", Host() + "Origin: " + origin + "\r\n");
  EXPECT_NE(events.find("event: log\ndata: {\"text\":\"ProxyUsername : ********\"}"), events.npos) << events;
  EXPECT_NE(events.find("\"status\":0}"), events.npos) << events;
  const std::string runLog = dir.Read("tmp/OWTMP.LOG");
  EXPECT_NE(runLog.find(" ProxyUsername : jean\r\n"), runLog.npos) << runLog;
  for (const std::string& secret : {std::string("jean"), std::string("secret"), ScrambleCredential("jean")}) {
    EXPECT_EQ(events.find(secret), events.npos) << secret << " in " << events;
    EXPECT_EQ(dir.Read("log.txt").find(secret), std::string::npos) << secret;
  }
  EXPECT_EQ(runLog.find("secret"), runLog.npos) << runLog;
}

// Root's bridge takes the first port of the range, nobody's the next; each
// serves its own user's processes only, over IPv4 and IPv6.
TEST_F(BridgeServerTest, EachUserHasABridgeOfItsOwn) {
  ASSERT_EQ(::geteuid(), 0u) << "a second user (nobody, through setpriv) needs root";
  const std::string origin = "https://labels.example.com";
  const int first = testing::FreeLoopbackPorts(2);
  ASSERT_NE(first, 0);
  // Each user's own configuration, trusted only in a folder of that user's.
  const std::string config = R"({"port":)" + std::to_string(first) + "}";
  fs::create_directories(dir.path() + "nobody/tmp");
  dir.Write("bridge.json", config);
  dir.Write("nobody/bridge.json", config);
  ::chown((dir.path() + "nobody/bridge.json").c_str(), 65534, 65534);
  ::chown((dir.path() + "nobody").c_str(), 65534, 65534);
  ::chown((dir.path() + "nobody/tmp").c_str(), 65534, 65534);
  fs::permissions(dir.path(), fs::perms(0711));
  fs::permissions(dir.path() + "nobody", fs::perms(0700));
  const auto serve = [&](const std::string& folder, const std::string& user) {
    return Serve({"--config", dir.path() + folder + "bridge.json", "--allow-origin", origin},
                 {{"TMPDIR", dir.path() + folder + "tmp"}, {"ALLUSERSPROFILE", dir.path() + folder + "profile"}},
                 folder, user);
  };
  const int rootPort = serve("", "");
  ASSERT_EQ(rootPort, first) << dir.Read("log.txt");
  const int nobodyPort = serve("nobody/", "nobody");
  ASSERT_EQ(nobodyPort, first + 1) << dir.Read("nobody/log.txt");
  EXPECT_NE(dir.Read("nobody/log.txt")
                .find("took port " + std::to_string(first + 1) + ", the first free one from " + std::to_string(first) +
                      " to " + std::to_string(first + 7)),
            std::string::npos)
      << dir.Read("nobody/log.txt");

  struct Case {
    const char* client;
    int port;
    const char* address;
    const char* status;
  } cases[] = {
      {"", rootPort, "127.0.0.1", "HTTP/1.1 200 OK"},
      {"nobody", rootPort, "127.0.0.1", "HTTP/1.1 403 Forbidden"},
      {"nobody", rootPort, "[::1]", "HTTP/1.1 403 Forbidden"},
      {"", nobodyPort, "127.0.0.1", "HTTP/1.1 403 Forbidden"},
      {"nobody", nobodyPort, "[::1]", "HTTP/1.1 200 OK"},
  };
  for (const Case& c : cases) {
    std::string command;
    for (const std::string& part : AsUser(c.client)) command += part + " ";
    command += "curl -s -i -g --max-time 10 -H 'Origin: " + origin + "' http://" + c.address + ":" +
               std::to_string(c.port) + "/v1/version 2>&1";
    std::string answer;
    if (FILE* out = ::popen(command.c_str(), "r")) {
      char block[4096];
      for (std::size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) answer.append(block, n);
      ::pclose(out);
    }
    const std::string label = std::string(c.client) + " to " + c.address + ":" + std::to_string(c.port);
    EXPECT_EQ(Status(answer), c.status) << label << "\n" << answer;
    EXPECT_EQ(answer.find("\"code\":\"other-user\"") != std::string::npos, std::string(c.status) != "HTTP/1.1 200 OK")
        << label << "\n"
        << answer;
  }
  EXPECT_NE(dir.Read("log.txt").find("other-user (this bridge serves only the processes of its own user, and the "
                                     "process at the other end runs as another user (uid 65534))"),
            std::string::npos)
      << dir.Read("log.txt");
}

std::string IdOf(const std::string& answer) {
  std::smatch id;
  return std::regex_search(answer, id, std::regex("\"id\":\"([0-9a-f]+)\"")) ? id[1].str() : "";
}

// One run holds the worker (its data server answers only after the bridge
// stopped, so the stop must cut the wait short): its origin's share of the
// queue waits, the next of that origin is refused, another origin's run is
// still queued. Then the limits of one request. The stop ends every run with
// a line in the log and a last event to its stream.
TEST_F(BridgeServerTest, QueueShareSizeLimitsAndStop) {
  data = std::make_unique<testing::LoopbackServer>([&](const std::string&, int) {
    while (!letGo) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return testing::ServerReply{"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
  });
  const std::string origin = "http://127.0.0.1:" + std::to_string(data->port());
  const std::string other = "http://127.0.0.1:1";
  fs::permissions(dir.path(), fs::perms(0700));
  std::ofstream(dir.path() + "bridge.json") << R"({"origins":[{"origin":")" << other << "\"}]}";
  Start(origin);
  auto post = [&](const std::string& from, const std::string& body) {
    return Request("POST", "/v1/print-runs", Host() + "Origin: " + from + "\r\nContent-Type: application/json\r\n",
                   body);
  };
  const std::string json = Host() + "Origin: " + origin + "\r\nContent-Type: application/json\r\n";
  const std::string run = R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + data->url("/d") + "\"}}";
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < 1 + bridge::kOriginShare; ++i) {
    ids.push_back(IdOf(post(origin, run)));
    ASSERT_FALSE(ids.back().empty()) << i;
  }
  const std::string share = post(origin, run);
  EXPECT_EQ(Status(share), "HTTP/1.1 429 Too Many Requests");
  EXPECT_NE(share.find("origin-queue-full"), std::string::npos);
  ids.push_back(IdOf(post(other, R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + other + "/d\"}}")));
  ASSERT_FALSE(ids.back().empty()) << "another origin got no place in the queue";

  EXPECT_EQ(Status(post(origin, std::string(64 * 1024 + 1, ' '))), "HTTP/1.1 413 Payload Too Large");
  EXPECT_EQ(Status(Request("GET", "/v1/version", json + "X-Padding: " + std::string(9000, 'x') + "\r\n")),
            "HTTP/1.1 431 Request Header Fields Too Large");

  // The running run's stream and a waiting run's, open while the bridge stops.
  char block[512];
  std::map<int, std::string> streams;
  for (const std::string& id : {ids.front(), ids.back()}) {
    const int fd = Connect(port);
    const std::string get = "GET /v1/print-runs/" + id + "/events HTTP/1.1\r\n" + Host() +
                            "Origin: " + (id == ids.back() ? other : origin) + "\r\n\r\n";
    ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
    std::string& events = streams[fd];
    for (ssize_t n; events.find("\r\n\r\n") == events.npos && (n = ::recv(fd, block, sizeof block, 0)) > 0;)
      events.append(block, static_cast<std::size_t>(n));
  }
  Stop();
  for (auto& [fd, events] : streams) {
    for (ssize_t n; (n = ::recv(fd, block, sizeof block, 0)) > 0;) events.append(block, static_cast<std::size_t>(n));
    ::close(fd);
    EXPECT_NE(events.find("event: outcome\ndata: {\"failedRecord\":null,\"labels\":0,\"message\":\"abandoned: "),
              std::string::npos)
        << events;
  }
  const std::string log = dir.Read("log.txt");
  for (const std::string& id : ids)
    EXPECT_TRUE(std::regex_search(log, std::regex("run " + id + " from [^\n]*: status 5, "))) << id << "\n" << log;
}

// A page's DELETE stops a run within a second, as stopped (status 5), in a
// wait: a download that trickles, a byte every two seconds, and a parallel
// port (a FIFO standing in) whose printer never takes the job.
TEST_F(BridgeServerTest, DeleteStopsARunInItsDownloadOrDeviceWaitWithinASecond) {
  std::ifstream file(std::string(IMPTHERM_TEST_DATA) + "/labels/two_records.txt", std::ios::binary);
  const std::string labels((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  data = std::make_unique<testing::LoopbackServer>([&](const std::string& request, int) {
    testing::ServerReply reply{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(labels.size()) + "\r\n\r\n"};
    if (request.rfind("GET /trickle", 0) != 0) return testing::ServerReply{reply.bytes + labels};
    reply.fillBytes = labels.size();
    reply.fillPause = std::chrono::seconds(2);
    return reply;
  });
  const std::string origin = "http://127.0.0.1:" + std::to_string(data->port());
  ASSERT_EQ(::mkfifo((dir.path() + "lpt1").c_str(), 0600), 0);
  Start(origin, dir.path() + "lpt1");
  const std::string json = Host() + "Origin: " + origin + "\r\nContent-Type: application/json\r\n";
  struct Case {
    const char* name;
    const char* path;
    const char* fileOut;
  } cases[] = {{"download", "/trickle", "FILE"}, {"parallel port", "/labels.txt", "LPT1"}};
  std::size_t asked = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = IdOf(Request("POST", "/v1/print-runs", json,
                                        R"({"params":{"prnType":"4","fileOut":")" + std::string(c.fileOut) +
                                            R"(","streamUrl":")" + data->url(c.path) + "\"}}"));
    ASSERT_FALSE(id.empty());
    ++asked;
    for (int i = 0; i < 400 && data->requests().size() < asked; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_EQ(data->requests().size(), asked);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto stop = std::chrono::steady_clock::now();
    EXPECT_EQ(Status(Request("DELETE", "/v1/print-runs/" + id, json)), "HTTP/1.1 202 Accepted");
    const std::string events = Request("GET", "/v1/print-runs/" + id + "/events", json);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - stop).count(), 1.0);
    EXPECT_NE(events.find("event: outcome\ndata: {\"failedRecord\":null,\"labels\":0,\"message\":\"abandoned: "
                          "interrupted by the user\",\"status\":5}"),
              std::string::npos)
        << events;
  }
}

// A local process cannot hold the connections pages need: a refusal and an
// idle connection end their connection, event streams take at most half of
// the connections, and with all the others held by connections that trickle
// their header a page's request is still answered at once.
TEST_F(BridgeServerTest, NoLocalProcessHoldsTheConnectionsPagesNeed) {
  bridge::ServerOptions limits;
  limits.maxConnections = 4;
  limits.idleTimeLimit = std::chrono::milliseconds(300);
  StartServer(limits);
  const std::string page = Host() + "Origin: " + kPage + "\r\n";
  const int refused = Connect(port);
  Send(refused, "GET /v1/version HTTP/1.1\r\n" + Host() + "\r\n");
  const std::string refusal = ReadOne(refused);
  EXPECT_EQ(Status(refusal), "HTTP/1.1 403 Forbidden");
  EXPECT_NE(refusal.find("\r\nConnection: close\r\n"), std::string::npos) << refusal;
  EXPECT_TRUE(ClosedWithin(refused, std::chrono::milliseconds(2000)));
  const int idle = Connect(port);
  Send(idle, "GET /v1/version HTTP/1.1\r\n" + page + "\r\n");
  EXPECT_EQ(Status(ReadOne(idle)), "HTTP/1.1 200 OK");
  const auto answered = std::chrono::steady_clock::now();
  EXPECT_TRUE(ClosedWithin(idle, std::chrono::milliseconds(3000)));
  EXPECT_GE(std::chrono::steady_clock::now() - answered, std::chrono::milliseconds(250));

  // The run waits in the worker; two streams follow it, a third is refused.
  const std::string queued =
      Request("POST", "/v1/print-runs", page + "Content-Type: application/json\r\n", R"({"params":{"prnType":"4"}})");
  std::smatch id;
  ASSERT_TRUE(std::regex_search(queued, id, std::regex("\"id\":\"([0-9a-f]+)\""))) << queued;
  std::vector<int> streams;
  for (const char* status : {"HTTP/1.1 200 OK", "HTTP/1.1 200 OK", "HTTP/1.1 503 Service Unavailable"}) {
    streams.push_back(Connect(port));
    Send(streams.back(), "GET /v1/print-runs/" + id[1].str() + "/events HTTP/1.1\r\n" + page + "\r\n");
    const std::string answer = ReadOne(streams.back());
    EXPECT_EQ(Status(answer), status) << answer;
  }
  EXPECT_TRUE(ClosedWithin(streams.back(), std::chrono::milliseconds(2000)));

  const int slowFirst = Connect(port), slowSecond = Connect(port);
  Send(slowFirst, "GET /v1/version HTTP/1.1\r\n");
  Send(slowSecond, "GET /v1/vers");
  const auto start = std::chrono::steady_clock::now();
  const std::string answer = Exchange(port, "GET /v1/version HTTP/1.1\r\nConnection: close\r\n" + page + "\r\n");
  EXPECT_EQ(Status(answer), "HTTP/1.1 200 OK") << answer;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(ClosedWithin(slowFirst, std::chrono::milliseconds(1000)));
  EXPECT_TRUE(StillOpen(slowSecond) && StillOpen(streams[0]) && StillOpen(streams[1]));
  for (int fd : streams) ::close(fd);
  for (int fd : {refused, idle, slowFirst, slowSecond}) ::close(fd);
}

// The print server keeps the printer list waiting: other requests are
// answered meanwhile, the requests for the list share one listing and get
// an error after the time limit, and once the print server answers, the
// list comes.
TEST_F(BridgeServerTest, APrinterListThePrintServerHoldsHoldsNothingElse) {
  bridge::ServerOptions limits;
  limits.printersTimeLimit = std::chrono::seconds(1);
  StartServer(limits);
  const std::string page = Host() + "Origin: " + kPage + "\r\n";
  const std::string list = "GET /v1/printers HTTP/1.1\r\n" + page + "\r\n";
  const int first = Connect(port), second = Connect(port);
  Send(first, list);
  for (int i = 0; i < 200 && dir.Read("printer-calls").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Send(second, list);
  EXPECT_EQ(Status(Request("GET", "/v1/version", page)), "HTTP/1.1 200 OK");
  for (int fd : {first, second}) {
    const std::string answer = ReadOne(fd);
    EXPECT_EQ(Status(answer), "HTTP/1.1 502 Bad Gateway");
    EXPECT_NE(answer.find("the print server has not listed the printers within 1 s"), std::string::npos) << answer;
    ::close(fd);
  }
  EXPECT_EQ(dir.Read("printer-calls"), "listed\n");
  Release();
  std::string listed;
  for (int i = 0; i < 100 && Status(listed) != "HTTP/1.1 200 OK"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    listed = Request("GET", "/v1/printers", page);
  }
  EXPECT_NE(listed.find(R"({"printers":[{"default":true,"name":"Zebra"}]})"), std::string::npos) << listed;
}

}  // namespace
}  // namespace imptherm
