// `impthermorvane serve` over plain HTTP on loopback: a run from an allowed
// origin against `impthermorvane print`, the refusals that must write
// nothing, the queue limit, the size and connection limits, a clean stop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>

#include "fakes/fake_platform.h"
#include "retrieval/loopback_server.h"
#include "retrieval/squid_proxy.h"
#include "run/credentials.h"
#include "support/folder_server.h"
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

class BridgeServerTest : public ::testing::Test {
 protected:
  void Start(const std::string& origin) {
    fs::create_directories(dir.path() + "tmp");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("TMPDIR", (dir.path() + "tmp").c_str(), 1);
      ::setenv("ALLUSERSPROFILE", (dir.path() + "profile").c_str(), 1);
      std::freopen("/dev/null", "r", stdin);
      std::freopen((dir.path() + "out.txt").c_str(), "w", stdout);
      std::freopen((dir.path() + "log.txt").c_str(), "w", stderr);
      ::execl(IMPTHERM_PROGRAM, IMPTHERM_PROGRAM, "serve", "--port", "0", "--config",
              (dir.path() + "bridge.json").c_str(), "--allow-origin", origin.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::regex listening("listening on http://127.0.0.1:([0-9]+)");
    for (int i = 0; i < 400 && port == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      std::smatch m;
      const std::string out = dir.Read("out.txt");
      if (std::regex_search(out, m, listening)) port = std::stoi(m[1]);
    }
    ASSERT_NE(port, 0) << dir.Read("log.txt");
  }
  void TearDown() override {
    // A data server that never answers is let go only after the bridge stopped.
    struct LetGo {
      std::atomic<bool>& flag;
      ~LetGo() { flag = true; }
    } letGoAtEnd{letGo};
    if (pid_ <= 0) return;
    // SIGTERM stops the bridge, a running print run included, with status 0.
    ::kill(pid_, SIGTERM);
    int status = -1;
    for (int i = 0; i < 400 && ::waitpid(pid_, &status, WNOHANG) != pid_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (!WIFEXITED(status)) ::kill(pid_, SIGKILL), ::waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << dir.Read("log.txt");
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
  pid_t pid_ = -1;
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

// One run holds the worker (its data server answers only after the bridge
// stopped, so the stop must cut the wait short): 32 more wait, the next is
// refused. Then the limits of one request and of the connections.
TEST_F(BridgeServerTest, QueueAndSizeAndConnectionLimits) {
  data = std::make_unique<testing::LoopbackServer>([&](const std::string&, int) {
    while (!letGo) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return testing::ServerReply{"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
  });
  const std::string origin = "http://127.0.0.1:" + std::to_string(data->port());
  Start(origin);
  const std::string json = Host() + "Origin: " + origin + "\r\nContent-Type: application/json\r\n";
  const std::string run = R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":")" + data->url("/d") + "\"}}";
  for (int i = 0; i < 33; ++i) ASSERT_EQ(Status(Request("POST", "/v1/print-runs", json, run)), "HTTP/1.1 202 Accepted");
  const std::string full = Request("POST", "/v1/print-runs", json, run);
  EXPECT_EQ(Status(full), "HTTP/1.1 503 Service Unavailable");
  EXPECT_NE(full.find("queue-full"), std::string::npos);

  EXPECT_EQ(Status(Request("POST", "/v1/print-runs", json, std::string(64 * 1024 + 1, ' '))),
            "HTTP/1.1 413 Payload Too Large");
  EXPECT_EQ(Status(Request("GET", "/v1/version", json + "X-Padding: " + std::string(9000, 'x') + "\r\n")),
            "HTTP/1.1 431 Request Header Fields Too Large");

  // The connection beyond the limit waits for a free one, then is answered.
  std::vector<int> open;
  for (std::size_t i = 0; i < 32; ++i) open.push_back(Connect(port));
  const int waiting = Connect(port);
  const std::string version = "GET /v1/version HTTP/1.1\r\nConnection: close\r\n" + json + "\r\n";
  ::send(waiting, version.data(), version.size(), MSG_NOSIGNAL);
  timeval shortLimit{0, 300000};
  ::setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &shortLimit, sizeof shortLimit);
  char byte;
  EXPECT_EQ(::recv(waiting, &byte, 1, 0), -1) << "a connection beyond the limit was answered";
  ::close(open.back());
  timeval longLimit{10, 0};
  ::setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &longLimit, sizeof longLimit);
  std::string answer;
  char block[512];
  for (ssize_t n; (n = ::recv(waiting, block, sizeof block, 0)) > 0;) answer.append(block, static_cast<std::size_t>(n));
  EXPECT_EQ(Status(answer), "HTTP/1.1 200 OK");
  ::close(waiting);
  open.pop_back();
  for (int fd : open) ::close(fd);
}

}  // namespace
}  // namespace imptherm
