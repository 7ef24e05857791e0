#pragma once
// python3's http.server on a free loopback port, serving one folder: the
// web server of the benchmarks that download their label data.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace imptherm::bench {

class FolderServer {
 public:
  explicit FolderServer(const std::string& folder) {
    const std::string portFile = folder + "/.port";
    pid_ = ::fork();
    if (pid_ == 0) {
      // A benchmark that stops early (a failed run ends it with exit) must
      // not leave its server behind, holding its output open.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);  // the server's request log
      ::execlp("python3", "python3", "-c",
               "import functools,http.server,socketserver,sys\n"
               "h=functools.partial(http.server.SimpleHTTPRequestHandler,directory=sys.argv[1])\n"
               "s=socketserver.TCPServer(('127.0.0.1',0),h)\n"
               "open(sys.argv[2],'w').write(str(s.server_address[1]))\n"
               "s.serve_forever()",
               folder.c_str(), portFile.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && port_.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      std::ifstream in(portFile);
      std::getline(in, port_);
    }
    if (port_.empty()) {
      std::fprintf(stderr, "the loopback web server did not start\n");
      std::exit(1);
    }
  }
  ~FolderServer() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  FolderServer(const FolderServer&) = delete;
  FolderServer& operator=(const FolderServer&) = delete;
  std::string Url(const std::string& name) const { return "http://127.0.0.1:" + port_ + "/" + name; }

 private:
  pid_t pid_ = -1;
  std::string port_;
};

}  // namespace imptherm::bench
