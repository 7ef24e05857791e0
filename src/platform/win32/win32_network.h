#pragma once
#include "platform/net.h"

namespace imptherm::win32 {

// TCP connections over Winsock 2. Winsock is started for as long as the
// object lives, so the control's single instance keeps it up for the whole
// life of the process.
class Win32Network final : public Network {
 public:
  Win32Network();
  ~Win32Network() override;
  Win32Network(const Win32Network&) = delete;
  Win32Network& operator=(const Win32Network&) = delete;

  std::unique_ptr<Connection> Connect(const std::string& host, int port, int limitMs) override;

 private:
  bool started_ = false;
};

}  // namespace imptherm::win32
