#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace imptherm {

// A device opened as a file for writing (a parallel port).
class PortDevice {
 public:
  virtual ~PortDevice() = default;
  struct WriteResult {
    bool ok = true;
    std::size_t written = 0;      // 0: the device took nothing in its time-out
    unsigned long errorCode = 0;  // the system's error code when !ok
  };
  // One write of at most `size` bytes, as the system's write call does it.
  virtual WriteResult Write(const char* data, std::size_t size) = 0;
};

class PortDevices {
 public:
  virtual ~PortDevices() = default;
  // Opens an existing device by its name ("LPT1") for writing, not shared.
  // Nothing when it cannot be opened.
  virtual std::unique_ptr<PortDevice> OpenForWriting(const std::string& name) = 0;
};

}  // namespace imptherm
