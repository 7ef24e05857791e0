#pragma once
#include "platform/net.h"

namespace imptherm::posix {

// TCP connections over BSD sockets. Waits end early with RunAbandoned when
// the person asks to stop (Ctrl-C).
class PosixNetwork final : public Network {
 public:
  std::unique_ptr<Connection> Connect(const std::string& host, int port, int limitMs) override;
};

}  // namespace imptherm::posix
