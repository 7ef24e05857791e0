#pragma once
#include <sys/types.h>

#include <string>

#include "fakes/fake_platform.h"

namespace imptherm::testing {

// A real squid on 127.0.0.1, started in the foreground with its own
// configuration and folders. `auth` lists the schemes to offer, in the
// order of their Proxy-Authenticate lines: "basic", "ntlm", "negotiate".
// Basic knows one user, jean with the password secret. Raises when squid
// is missing or does not answer: a missing peer fails the test.
class SquidProxy {
 public:
  explicit SquidProxy(const std::vector<std::string>& auth);
  ~SquidProxy();
  SquidProxy(const SquidProxy&) = delete;
  SquidProxy& operator=(const SquidProxy&) = delete;
  int port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  fakes::TempDir dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace imptherm::testing
