#pragma once
#include <optional>
#include <string>

#include "platform/system.h"

namespace imptherm::posix {

// The device behind a Windows port name.
struct PortDevicePath {
  std::string path;
  // The device has no modem lines (a pseudo-terminal, some USB adapters):
  // CTS and DSR are taken as always on.
  bool linesAlwaysOn = false;
};

// Maps "COMn" or "LPTn" (prefix as given, n from 1 to 256 without leading
// zero, nothing after it) to a device. The environment variable
// IMPTHERM_<NAME> (IMPTHERM_COM1) names the device when set; for a COM port
// its value may end in ",lines-on". Otherwise COMn is /dev/ttyS(n-1) and
// LPTn is /dev/lp(n-1). Any other name maps to nothing.
std::optional<PortDevicePath> MapPortName(System& system, const std::string& name, const std::string& prefix);

}  // namespace imptherm::posix
