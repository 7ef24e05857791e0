#include "peers.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace imptherm::peers {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string FindProgram(const std::string& name) {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::istringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (out >= 0) {
    ::dup2(out, 1);
    ::dup2(out, 2);
  }
  const int in = ::open("/dev/null", O_RDONLY);
  ::dup2(in, 0);
  ::setpgid(0, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

int WaitBounded(pid_t pid, std::chrono::milliseconds limit) {
  int status = 0;
  const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  if (argv.empty() || argv[0].empty()) return -1;
  const pid_t pid = Spawn(argv, "/dev/null");
  return pid < 0 ? -1 : WaitBounded(pid, limit);
}

PeerProcess::PeerProcess(const std::vector<std::string>& argv, const std::string& logPath) {
  if (!argv.empty() && !argv[0].empty()) pid_ = Spawn(argv, logPath);
}

bool PeerProcess::Running() { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (WaitBounded(pid_, 5s) == -1) ::kill(-pid_, SIGKILL);
  pid_ = -1;
}

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Appends the job (its file, or standard input) to the file named in its
// device URI.
const char kCaptureBackend[] = R"(#!/bin/sh
if [ $# -eq 0 ]; then echo 'direct capture "Unknown" "Capture to file"'; exit 0; fi
out="${DEVICE_URI#capture:}"
if [ -n "$6" ]; then cat "$6" >> "$out"; else cat >> "$out"; fi
)";

}  // namespace

PrivateCups::PrivateCups() {
  const std::string cupsd = FindProgram("cupsd");
  if (cupsd.empty() || FindProgram("lpadmin").empty()) {
    failure_ = "cupsd and lpadmin are needed (Debian packages cups, cups-client)";
    return;
  }
  if (::geteuid() != 0) {
    failure_ = "a private cupsd has to be started as root";
    return;
  }
  std::random_device rd;
  dir_ = (fs::temp_directory_path() / ("imptherm-cups-" + std::to_string(rd()))).string();
  socket_ = dir_ + "/cups.sock";
  for (const char* sub : {"bin/backend", "spool/tmp", "cache", "state", "log", "out"})
    fs::create_directories(dir_ + "/" + sub);
  for (const char* link : {"filter", "daemon", "cgi-bin", "notifier", "monitor", "driver"})
    fs::create_symlink(std::string("/usr/lib/cups/") + link, dir_ + "/bin/" + link);
  WriteText(dir_ + "/bin/backend/capture", kCaptureBackend);
  ::chmod((dir_ + "/bin/backend/capture").c_str(), 0755);
  WriteText(dir_ + "/cupsd.conf", "Listen " + socket_ +
                                      "\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                      "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                      "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n");
  WriteText(dir_ + "/cups-files.conf", "User lp\nGroup lp\nServerRoot " + dir_ + "\nServerBin " + dir_ +
                                           "/bin\nDataDir /usr/share/cups\nRequestRoot " + dir_ + "/spool\nCacheDir " +
                                           dir_ + "/cache\nStateDir " + dir_ + "/state\nTempDir " + dir_ +
                                           "/spool/tmp\nErrorLog " + dir_ + "/log/error_log\nAccessLog " + dir_ +
                                           "/log/access_log\nPageLog " + dir_ + "/log/page_log\n");
  // The scheduler runs as lp, the backend from a folder only root may change.
  RunProgram(
      {"/bin/chown", "-R", "lp:lp", dir_ + "/spool", dir_ + "/cache", dir_ + "/state", dir_ + "/log", dir_ + "/out"});
  ::chmod((dir_ + "/spool/tmp").c_str(), 01770);
  ::setenv("CUPS_SERVER", socket_.c_str(), 1);
  cupsSetServer(socket_.c_str());
  cupsd_ = std::make_unique<PeerProcess>(
      std::vector<std::string>{cupsd, "-f", "-c", dir_ + "/cupsd.conf", "-s", dir_ + "/cups-files.conf"},
      dir_ + "/cupsd.out");
  const auto answers = [&] {
    http_t* http = httpConnect2(socket_.c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 500, nullptr);
    if (http) httpClose(http);
    return http != nullptr;
  };
  if (!WaitUntil(answers, 15s)) failure_ = "the private cupsd did not start; see " + dir_ + "/cupsd.out";
}

PrivateCups::~PrivateCups() {
  cupsd_.reset();
  ::unsetenv("CUPS_SERVER");
  cupsSetServer(nullptr);
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

bool PrivateCups::Run(const std::vector<std::string>& argv) { return RunProgram(argv) == 0; }

bool PrivateCups::AddQueue(const std::string& name) {
  return Run({FindProgram("lpadmin"), "-p", name, "-E", "-v", "capture:" + dir_ + "/out/" + name, "-m", "raw"});
}

std::string PrivateCups::Captured(const std::string& queue) const {
  std::ifstream in(dir_ + "/out/" + queue, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PrivateCups::WaitForCapture(const std::string& queue, std::size_t size) {
  const std::string path = dir_ + "/out/" + queue;
  return WaitUntil(
      [&] {
        std::error_code ec;
        const auto now = fs::file_size(path, ec);
        return !ec && now >= size;
      },
      20s);
}

}  // namespace imptherm::peers
