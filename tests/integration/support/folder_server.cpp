#include "support/folder_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "fakes/fake_platform.h"

namespace imptherm::testing {

FolderServer::FolderServer(const std::string& folder, const std::string& logPath) {
  pid_ = ::fork();
  if (pid_ == 0) {
    std::freopen(logPath.c_str(), "w", stdout);
    std::freopen(logPath.c_str(), "a", stderr);
    ::execlp("python3", "python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory", folder.c_str(), "0",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::regex served("port ([0-9]+)");
  for (int i = 0; i < 200 && port_ == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::smatch m;
    const std::string log = fakes::ReadFile(logPath);
    if (std::regex_search(log, m, served)) port_ = std::stoi(m[1]);
  }
}

FolderServer::~FolderServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

}  // namespace imptherm::testing
