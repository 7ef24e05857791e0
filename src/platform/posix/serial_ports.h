#pragma once
#include "platform/port.h"
#include "platform/serial.h"
#include "platform/system.h"

namespace imptherm::posix {

// Serial ports through termios and the modem-line ioctls. Port names map to
// devices as MapPortName says. OsKind is 0 (not a Windows version), which
// takes the NT settings: a byte the port does not take within 2 ms is
// reported as not written.
class PosixSerialPorts final : public SerialPorts {
 public:
  explicit PosixSerialPorts(System& system) : system_(system) {}
  int OsKind() override { return 0; }
  std::unique_ptr<SerialPort> Open(const std::string& portName, bool win9xFamily) override;
  // Pauses briefly; raises RunAbandoned after Ctrl-C.
  void ProcessPendingEvents() override;

 private:
  System& system_;
};

// LPTn devices (or whatever the user maps them to), opened for writing.
class PosixPortDevices final : public PortDevices {
 public:
  explicit PosixPortDevices(System& system) : system_(system) {}
  std::unique_ptr<PortDevice> OpenForWriting(const std::string& name) override;

 private:
  System& system_;
};

}  // namespace imptherm::posix
