// The browser bridge against the command line, in the same run:
//  - latency: the median time of a print run through the bridge (from the
//    POST to the outcome event) against the median time of
//    `impthermorvane print` of the same run (a child process, end to end);
//    goal: at most 10 ms added.
//  - flood: requests sent at once from the allowed origin, on 30 keep-alive
//    connections (the bridge takes 32 at a time); each one must either run or be refused as queue-full or
//    origin-queue-full, none run twice (the job file must be the reference job repeated once per accepted run), the
//    bridge's resident memory at most 32 MiB above idle, and as many descriptors open afterwards as before.
//  - connection flood: a page's request (GET /v1/version on a new connection)
//    while a local process holds `--slow` connections that trickle their
//    header and reconnect when closed, and `--refused` connections sending
//    refused requests; median and worst of `--tries` answers against the same
//    without the flood; goal: the worst under 1 s.
// Exits 1 when a goal is missed, 2 when something could not be measured.
//
//   bench/bridge_bench [--runs N] [--requests N] [--connections N]
//                      [--tries N] [--slow N] [--refused N] [--only flood]
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "connection_flood.h"
#include "folder_server.h"

namespace fs = std::filesystem;
namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "bridge_bench: %s\n", why.c_str());
  std::exit(2);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int FreeLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(s);
  return port;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A line of /proc/PID/status, in KiB.
double StatusKiB(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ":", 0) == 0) return std::atof(line.c_str() + key.size() + 1);
  return 0;
}

int OpenDescriptors(pid_t pid) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) ++n;
  return n;
}

// `impthermorvane serve` for one origin, its output in a log file.
class Bridge {
 public:
  Bridge(const std::string& program, const fs::path& dir, int port, const std::string& origin) : port_(port) {
    const std::string log = (dir / "bridge.log").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::setenv("TMPDIR", (dir / "bridge-tmp").c_str(), 1);
      ::setenv("ALLUSERSPROFILE", (dir / "bridge-profile").c_str(), 1);
      const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(out, 2);
      const std::string portText = std::to_string(port);
      ::execl(program.c_str(), program.c_str(), "serve", "--batch", "--port", portText.c_str(), "--config",
              (dir / "bridge.json").c_str(), "--allow-origin", origin.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::string ready = "listening on http://127.0.0.1:" + std::to_string(port);
    for (int i = 0; i < 200; ++i) {
      if (ReadFile(log).find(ready) != std::string::npos) return;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Fail("the bridge did not start:\n" + ReadFile(log));
  }
  ~Bridge() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;
  pid_t pid() const { return pid_; }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_;
};

// One keep-alive connection to the bridge, as a page of `origin` talks to it.
class Client {
 public:
  Client(int port, std::string origin) : port_(port), origin_(std::move(origin)), socket_(io_) { Connect(); }

  http::response<http::string_body> Send(http::verb verb, const std::string& target, const std::string& body = {}) {
    // The bridge closes the connection after an error answer, as a browser
    // then does, and opens a new one.
    if (!socket_.is_open()) Connect();
    http::request<http::string_body> req{verb, target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
    req.set(http::field::origin, origin_);
    if (!body.empty()) {
      req.set(http::field::content_type, "application/json");
      req.body() = body;
    }
    req.prepare_payload();
    http::write(socket_, req);
    http::response<http::string_body> res;
    http::read(socket_, buffer_, res);
    if (!res.keep_alive()) socket_.close();
    return res;
  }

  // Reads a run's event stream until its outcome event; the outcome's JSON.
  nlohmann::json WaitOutcome(const std::string& id) {
    http::request<http::empty_body> req{http::verb::get, "/v1/print-runs/" + id + "/events", 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
    req.set(http::field::origin, origin_);
    http::write(socket_, req);
    http::response_parser<http::buffer_body> parser;
    parser.body_limit(boost::none);
    http::read_header(socket_, buffer_, parser);
    std::string text;
    char chunk[4096];
    while (!parser.is_done()) {
      parser.get().body().data = chunk;
      parser.get().body().size = sizeof chunk;
      boost::beast::error_code ec;
      http::read(socket_, buffer_, parser, ec);
      if (ec && ec != http::error::need_buffer) break;
      text.append(chunk, sizeof chunk - parser.get().body().size);
      const auto at = text.find("event: outcome");
      if (at == std::string::npos) continue;
      const auto data = text.find("data:", at);
      const auto end = data == std::string::npos ? data : text.find('\n', data);
      if (end != std::string::npos) return nlohmann::json::parse(text.substr(data + 5, end - data - 5));
    }
    Fail("the event stream of run " + id + " ended without its outcome:\n" + text);
  }

 private:
  void Connect() {
    buffer_.clear();
    socket_.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port_)));
  }

  int port_;
  std::string origin_;
  boost::asio::io_context io_;
  tcp::socket socket_;
  boost::beast::flat_buffer buffer_;
};

std::string RunBody(const std::string& streamUrl) {
  return nlohmann::json{
      {"params", {{"prnType", "4"}, {"fileOut", "FILE"}, {"streamUrl", streamUrl}, {"nbEtiquColis", "2"}}}}
      .dump();
}

// `impthermorvane print` of the same run, as a child process; its wall time.
double PrintRun(const std::string& program, const fs::path& tmp, const fs::path& profile,
                const std::string& streamUrl) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("TMPDIR", tmp.c_str(), 1);
    ::setenv("ALLUSERSPROFILE", profile.c_str(), 1);
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::dup2(devnull, 2);
    ::execl(program.c_str(), program.c_str(), "print", "--batch", "--param", "prnType=4", "--param", "fileOut=FILE",
            "--param", ("streamUrl=" + streamUrl).c_str(), "--param", "nbEtiquColis=2", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("impthermorvane print failed");
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double BridgeRun(const Bridge& bridge, const std::string& origin, const std::string& streamUrl) {
  const auto start = Clock::now();
  Client client(bridge.port(), origin);
  const auto res = client.Send(http::verb::post, "/v1/print-runs", RunBody(streamUrl));
  if (res.result() != http::status::accepted) Fail("the bridge refused a run: " + res.body());
  const auto outcome = client.WaitOutcome(nlohmann::json::parse(res.body()).at("id").get<std::string>());
  if (outcome.at("status") != 0) Fail("a run through the bridge failed: " + outcome.dump());
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The connection flood: answer times of a page's request without it, then
// with it (after a second for it to take hold). Returns the worst time under
// the flood (an unanswered request counts as the limit).
double FloodAnswers(int port, const std::string& origin, int tries, int slow, int refused) {
  constexpr int kLimitMs = 5000;
  auto measure = [&](std::vector<double>& ms) {
    int unanswered = 0;
    for (int i = 0; i < tries; ++i) {
      const double t = imptherm::bench::AnswerMs(port, origin, kLimitMs);
      unanswered += t < 0;
      ms.push_back(t < 0 ? kLimitMs : t);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return unanswered;
  };
  std::vector<double> quiet, flooded;
  measure(quiet);
  long closed = 0, refusals = 0;
  int unanswered = 0;
  {
    imptherm::bench::ConnectionFlood flood(port, slow, refused);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long closedBefore = flood.closedByBridge(), refusalsBefore = flood.refusals();
    unanswered = measure(flooded);
    closed = flood.closedByBridge() - closedBefore;
    refusals = flood.refusals() - refusalsBefore;
  }
  const double worst = *std::max_element(flooded.begin(), flooded.end());
  const std::string lost = unanswered ? ", " + std::to_string(unanswered) + " unanswered in 5 s" : "";
  std::printf(
      "connection flood: %d slow-header and %d refused-request connections; meanwhile %ld refusals "
      "answered, %ld flood connections closed by the bridge\n",
      slow, refused, refusals, closed);
  std::printf(
      "connection flood: a page's request over %d tries: median %.1f ms, worst %.1f ms%s "
      "(goal: under 1000 ms); without the flood median %.1f ms, worst %.1f ms; ratio of medians %.1f\n",
      tries, Median(flooded), worst, lost.c_str(), Median(quiet), *std::max_element(quiet.begin(), quiet.end()),
      Median(flooded) / Median(quiet));
  std::fflush(stdout);
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 21, requests = 1000, connections = 30, tries = 21, slow = 100, refusedConnections = 32;
  bool onlyFlood = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (name == "--runs") runs = value;
    if (name == "--requests") requests = value;
    if (name == "--connections") connections = value;
    if (name == "--tries") tries = std::max(value, 1);
    if (name == "--slow") slow = value;
    if (name == "--refused") refusedConnections = value;
    if (name == "--only") onlyFlood = std::string(argv[i + 1]) == "flood";
  }
  runs = std::max(runs, 1);
  connections = std::clamp(connections, 1, std::max(requests, 1));
  std::signal(SIGPIPE, SIG_IGN);
  const std::string program = (fs::path(argv[0]).parent_path() / ".." / "impthermorvane").string();
  const fs::path dir = fs::temp_directory_path() / ("bridge_bench." + std::to_string(::getpid()));
  fs::remove_all(dir);
  for (const char* sub : {"www", "bridge-tmp", "bridge-profile", "print-tmp", "print-profile"})
    fs::create_directories(dir / sub);
  fs::copy_file(fs::path(IMPTHERM_BENCH_DATA) / "sample" / "labels.txt", dir / "www" / "labels.txt");
  std::ofstream(dir / "bridge.json") << R"({"origins": []})";
  int status = 0;
  {
    const std::string page = "http://127.0.0.1:9";  // an allowed origin; the flood needs no data
    Bridge bridge(program, dir, FreeLoopbackPort(), page);
    if (FloodAnswers(bridge.port(), page, tries, slow, refusedConnections) > 1000) status = 1;
  }
  if (onlyFlood) {
    fs::remove_all(dir);
    return status;
  }
  {
    imptherm::bench::FolderServer www((dir / "www").string());
    const std::string streamUrl = www.Url("labels.txt");
    const std::string origin = streamUrl.substr(0, streamUrl.find('/', 7));
    Bridge bridge(program, dir, FreeLoopbackPort(), origin);
    const fs::path bridgeJob = dir / "bridge-tmp" / "etiquettesOrvane.txt";
    const fs::path printJob = dir / "print-tmp" / "etiquettesOrvane.txt";

    // Latency, the two alternating so that the machine's moods hit both.
    std::vector<double> printMs, bridgeMs;
    for (int i = 0; i < runs; ++i) {
      printMs.push_back(PrintRun(program, dir / "print-tmp", dir / "print-profile", streamUrl));
      bridgeMs.push_back(BridgeRun(bridge, origin, streamUrl));
      if (i == 0 && ReadFile(bridgeJob) != ReadFile(printJob)) Fail("the bridge's job differs from the program's");
    }
    const std::string reference = ReadFile(printJob).substr(0, ReadFile(printJob).size() / runs);
    const double added = Median(bridgeMs) - Median(printMs);
    std::printf("latency: print %.1f ms, bridge %.1f ms (medians of %d), added %.1f ms (goal: at most 10 ms)\n",
                Median(printMs), Median(bridgeMs), runs, added);
    if (added > 10) status = 1;

    // The flood, after the runs above: what is open and resident now is idle.
    fs::remove(bridgeJob);
    const int fdIdle = OpenDescriptors(bridge.pid());
    const double idleMiB = StatusKiB(bridge.pid(), "VmRSS") / 1024;
    std::mutex lock;
    std::vector<std::string> accepted;
    int refused = 0, other = 0;
    std::string otherAnswer;
    std::latch start(connections);
    std::vector<std::thread> senders;
    const auto floodStart = Clock::now();
    for (int c = 0; c < connections; ++c) {
      senders.emplace_back([&, c] {
        const int share = requests / connections + (c < requests % connections ? 1 : 0);
        Client client(bridge.port(), origin);
        start.arrive_and_wait();
        for (int i = 0; i < share; ++i) {
          const auto res = client.Send(http::verb::post, "/v1/print-runs", RunBody(streamUrl));
          std::lock_guard<std::mutex> hold(lock);
          if (res.result() == http::status::accepted) {
            accepted.push_back(nlohmann::json::parse(res.body()).at("id").get<std::string>());
          } else if ((res.result() == http::status::service_unavailable &&
                      res.body().find("\"queue-full\"") != std::string::npos) ||
                     (res.result() == http::status::too_many_requests &&
                      res.body().find("\"origin-queue-full\"") != std::string::npos)) {
            // One origin sends them all: its share of the queue is full
            // before the queue is.
            ++refused;
          } else {
            ++other;
            otherAnswer = std::to_string(res.result_int()) + " " + res.body();
          }
        }
      });
    }
    for (auto& t : senders) t.join();
    const double sentMs = std::chrono::duration<double, std::milli>(Clock::now() - floodStart).count();
    // The answers came back in no particular order: wait for every accepted
    // run (a finished run may already be forgotten: 404).
    {
      Client client(bridge.port(), origin);
      for (const std::string& id : accepted) {
        for (;;) {
          const auto res = client.Send(http::verb::get, "/v1/print-runs/" + id);
          if (res.result() == http::status::not_found || res.body().find("\"done\"") != std::string::npos) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      }
    }
    const double peakMiB = StatusKiB(bridge.pid(), "VmHWM") / 1024;
    const std::set<std::string> ids(accepted.begin(), accepted.end());
    std::string expected;
    for (std::size_t i = 0; i < accepted.size(); ++i) expected += reference;
    const std::string jobs = ReadFile(bridgeJob);
    const bool jobsRight = jobs == expected;
    if (!jobsRight) {
      std::size_t at = 0;
      while (at < jobs.size() && at < expected.size() && jobs[at] == expected[at]) ++at;
      std::printf("flood: the job file has %zu bytes, %zu expected; they differ from byte %zu: '%s'\n", jobs.size(),
                  expected.size(), at, jobs.substr(at > 40 ? at - 40 : 0, 80).c_str());
    }
    // Connections close on the bridge's side a moment after ours.
    int fdAfter = OpenDescriptors(bridge.pid());
    for (int i = 0; i < 40 && fdAfter > fdIdle; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      fdAfter = OpenDescriptors(bridge.pid());
    }
    std::printf(
        "flood: %d requests on %d connections in %.0f ms: %zu ran, %d refused as (origin-)queue-full, %d "
        "otherwise%s%s\n",
        requests, connections, sentMs, accepted.size(), refused, other, other ? ": " : "", otherAnswer.c_str());
    std::printf("flood: job file %s (%zu runs of %zu bytes), ids %s\n", jobsRight ? "right" : "WRONG", accepted.size(),
                reference.size(), ids.size() == accepted.size() ? "unique" : "REPEATED");
    std::printf("flood: resident memory idle %.1f MiB, peak %.1f MiB, +%.1f MiB (goal: at most +32 MiB)\n", idleMiB,
                peakMiB, peakMiB - idleMiB);
    std::printf("flood: descriptors idle %d, after %d\n", fdIdle, fdAfter);
    if (static_cast<int>(accepted.size()) + refused != requests || other || !jobsRight ||
        ids.size() != accepted.size() || peakMiB - idleMiB > 32 || fdAfter > fdIdle)
      status = 1;
  }
  fs::remove_all(dir);
  return status;
}
