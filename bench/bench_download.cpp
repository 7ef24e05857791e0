// A large label data file fetched over loopback, by the program's own HTTP
// exchange (the built command in update mode, which writes the answer to the
// label data file) and by `curl -0` from the same server in the same run.
// Prints the median throughput of each, their ratio and the program's peak
// resident memory.
//
//   ./build/bench/bench_download [megabytes=200] [rounds=5]
// (built with the other benchmarks; main is its own)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

// Serves every request with the same body of `size` bytes, then closes.
class BodyServer {
 public:
  explicit BodyServer(std::size_t size) : size_(size) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0) std::exit(2);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~BodyServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }
  int port() const { return port_; }

 private:
  void Run() {
    std::string block(256 * 1024, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = i % 80 == 79 ? '\n' : static_cast<char>('A' + i % 26);
    while (!stop_) {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
      }
      std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size_) + "\r\n\r\n";
      bool ok = ::send(c, head.data(), head.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(head.size());
      for (std::size_t sent = 0; ok && sent < size_;) {
        std::size_t n = std::min(block.size(), size_ - sent);
        ssize_t w = ::send(c, block.data(), n, MSG_NOSIGNAL);
        ok = w > 0;
        sent += ok ? static_cast<std::size_t>(w) : 0;
      }
      ::close(c);
    }
  }
  std::size_t size_;
  int fd_;
  int port_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Run {
  double seconds;
  long peakKiB;
};

Run Spawn(const std::vector<std::string>& argv, const std::string& tmpdir) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "r", stdin)) _exit(126);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", argv[0].c_str(), status);
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::size_t size = megabytes * 1024 * 1024;
  // The command built beside this benchmark, unless IMPTHERM_PROGRAM names another.
  const char* given = std::getenv("IMPTHERM_PROGRAM");
  const std::string program =
      given ? given : (std::filesystem::path(argv[0]).parent_path() / ".." / "impthermorvane").string();
  const std::string tmp = std::filesystem::temp_directory_path() / ("bench-download-" + std::to_string(::getpid()));
  std::filesystem::create_directories(tmp);
  BodyServer server(size);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/UPDATEPLUGIN/get.asp";

  std::vector<double> ours, curl;
  long peak = 0;
  for (int r = 0; r < rounds; ++r) {
    Run a = Spawn(
        {program, "print", "--batch", "--param", "prnType=1", "--param", "fileOut=FILE", "--param", "streamUrl=" + url},
        tmp);
    if (std::filesystem::file_size(tmp + "/DataThermOrvane.txt") != size) {
      std::fprintf(stderr, "the program's file has the wrong size\n");
      return 1;
    }
    Run b = Spawn({"curl", "-0", "-s", "-f", "-o", tmp + "/curl.out", url}, tmp);
    ours.push_back(static_cast<double>(megabytes) / a.seconds);
    curl.push_back(static_cast<double>(megabytes) / b.seconds);
    peak = std::max(peak, a.peakKiB);
  }
  std::filesystem::remove_all(tmp);
  const double o = Median(ours), c = Median(curl);
  std::printf("body %zu MiB, %d rounds (medians)\n", megabytes, rounds);
  std::printf("impthermorvane: %.0f MiB/s   curl -0: %.0f MiB/s   ratio: %.2f\n", o, c, o / c);
  std::printf("impthermorvane peak resident memory: %.1f MiB\n", static_cast<double>(peak) / 1024);
  return o / c >= 0.9 && peak < 16 * 1024 ? 0 : 3;
}
