#pragma once
#include <sys/types.h>

#include <string>

namespace imptherm::testing {

// python3's http.server over one folder, on 127.0.0.1 and a port the system
// picks; its request log goes to `logPath`. port() is 0 when it did not start.
class FolderServer {
 public:
  FolderServer(const std::string& folder, const std::string& logPath);
  ~FolderServer();
  FolderServer(const FolderServer&) = delete;
  FolderServer& operator=(const FolderServer&) = delete;
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace imptherm::testing
