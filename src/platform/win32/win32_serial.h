#pragma once
#include <windows.h>

#include "platform/port.h"
#include "platform/serial.h"

namespace imptherm::win32 {

// The system's kind from its version numbers (GetVersionExA): 1, 4 and 5
// are the Windows 95 family, 2, 3 and 6 the NT family, 0 anything else.
int OsKindOf(DWORD platformId, DWORD major, DWORD minor);

// Serial ports through the Win32 communications functions, opened for
// overlapped I/O so that a write can be waited for while its event is set.
class Win32SerialPorts final : public SerialPorts {
 public:
  int OsKind() override;
  std::unique_ptr<SerialPort> Open(const std::string& portName, bool win9xFamily) override;
  // Dispatches the thread's pending window messages and yields the rest of
  // the time slice. Raises RunAbandoned when the thread is asked to quit
  // (the quit message is posted again for the host's own loop).
  void ProcessPendingEvents() override;
};

// LPTn (or any device name) opened as a file for writing, not shared.
class Win32PortDevices final : public PortDevices {
 public:
  std::unique_ptr<PortDevice> OpenForWriting(const std::string& name) override;
};

}  // namespace imptherm::win32
