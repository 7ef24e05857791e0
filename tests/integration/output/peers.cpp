#include "peers.h"

#include "support/free_port.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

// A printer that takes no job: says why and fails.
const char kRefuseBackend[] = R"(#!/bin/sh
if [ $# -eq 0 ]; then echo 'direct refuse "Unknown" "Refuses every job"'; exit 0; fi
cat > /dev/null
echo 'ERROR: Out of labels' >&2
exit 1
)";

}  // namespace

PrivateCups::PrivateCups(const std::string& localTypes) {
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
  fs::create_symlink("/usr/lib/cups/backend/ipp", dir_ + "/bin/backend/ipp");
  if (!localTypes.empty()) WriteText(dir_ + "/local.types", localTypes);
  ::chmod((dir_ + "/bin/backend/capture").c_str(), 0755);
  WriteText(dir_ + "/bin/backend/refuse", kRefuseBackend);
  ::chmod((dir_ + "/bin/backend/refuse").c_str(), 0755);
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

bool PrivateCups::AddQueue(const std::string& name, const std::string& uri, const std::string& model) {
  return Run({FindProgram("lpadmin"), "-p", name, "-E", "-v", uri, "-m", model});
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

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

uid_t LpUid() {
  const passwd* lp = ::getpwnam("lp");
  return lp ? lp->pw_uid : 0;
}

bool Accepts(const std::string& socketPath) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof a.sun_path) return false;
  socketPath.copy(a.sun_path, socketPath.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

// LPrint 1.1 has no option to listen on loopback only; it is reached here
// on 127.0.0.1 alone. As root it would share /run/lprint.sock with any other
// LPrint, so it runs as lp, whose socket goes into its own TMPDIR.
PrivateLPrint::PrivateLPrint(const std::string& printer) : printer_(printer) {
  const std::string lprint = FindProgram("lprint"), setpriv = FindProgram("setpriv");
  if (lprint.empty() || setpriv.empty()) {
    failure_ = "lprint and setpriv are needed (Debian packages lprint, util-linux)";
    return;
  }
  if (::geteuid() != 0) {
    failure_ = "the private LPrint is started as lp, which needs root";
    return;
  }
  std::random_device rd;
  dir_ = (fs::temp_directory_path() / ("imptherm-lprint-" + std::to_string(rd()))).string();
  for (const char* sub : {"home", "tmp", "out"}) fs::create_directories(dir_ + "/" + sub);
  RunProgram({"/bin/chown", "-R", "lp:lp", dir_});
  const auto asLp = [&](std::vector<std::string> args) {
    std::vector<std::string> argv{setpriv,
                                  "--reuid=lp",
                                  "--regid=lp",
                                  "--clear-groups",
                                  "/usr/bin/env",
                                  "-i",
                                  "HOME=" + dir_ + "/home",
                                  "TMPDIR=" + dir_ + "/tmp",
                                  "PATH=/usr/bin:/bin",
                                  lprint};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  };
  // The printer the test talks to, on the port: LPrint goes on without its
  // TCP listener when another program took the port in the meantime.
  const auto serves = [&] {
    http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1, 500, nullptr);
    if (!http) return false;
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri().c_str());
    ippDelete(cupsDoRequest(http, request, ("/ipp/print/" + printer_).c_str()));
    const bool ok = cupsLastError() == IPP_STATUS_OK;
    httpClose(http);
    return ok;
  };
  bool added = false;  // kept in LPrint's state file across restarts
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = testing::FreeLoopbackPort();
    const std::string port = "server-port=" + std::to_string(port_);
    server_ = std::make_unique<PeerProcess>(
        asLp({"server", "-o", port, "-o", "log-file=" + dir_ + "/log", "-o", "log-level=info", "-o",
              "spool-directory=" + dir_ + "/tmp", "-o", "server-options=no-web-interface"}),
        dir_ + "/server.out");
    // `lprint add` starts a server of its own when none answers on the
    // socket: it must find this one listening.
    if (!added)
      added = WaitUntil([&] { return Accepts(dir_ + "/tmp/lprint" + std::to_string(LpUid()) + ".sock"); }, 15s) &&
              RunProgram(asLp({"add", "-d", printer_, "-v", "file://" + dir_ + "/out", "-m", "epl2_4inch-203dpi-dt",
                               "-o", port})) == 0;
    if (added && WaitUntil(serves, 10s)) return;
    server_.reset();
  }
  failure_ = "LPrint did not start with its printer on a port of its own; see " + dir_ + "/log";
}

PrivateLPrint::~PrivateLPrint() {
  server_.reset();
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

std::string PrivateLPrint::Printed() const {
  std::string all;
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(dir_ + "/out", ec)) all += ReadAll(f.path().string());
  return all;
}

void PrivateLPrint::Clear() {
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(dir_ + "/out", ec)) fs::remove(f.path(), ec);
}

bool PrivateLPrint::WaitForPrinted(std::size_t size) {
  return WaitUntil([&] { return Printed().size() >= size; }, 20s);
}

}  // namespace imptherm::peers
