#include "platform/posix/port_names.h"

namespace imptherm::posix {
namespace {

constexpr int kHighestPort = 256;
constexpr char kLinesOnSuffix[] = ",lines-on";

std::optional<int> PortNumber(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::string digits = name.substr(prefix.size());
  if (digits.size() > 3 || digits[0] == '0') return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kHighestPort) return std::nullopt;
  return n;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::optional<PortDevicePath> MapPortName(System& system, const std::string& name, const std::string& prefix) {
  const std::optional<int> n = PortNumber(name, prefix);
  if (!n) return std::nullopt;
  PortDevicePath device;
  const std::string mapped = system.GetEnv("IMPTHERM_" + name).value_or("");
  if (!mapped.empty()) {
    device.path = mapped;
    if (prefix == "COM" && EndsWith(mapped, kLinesOnSuffix)) {
      device.path.resize(mapped.size() - sizeof kLinesOnSuffix + 1);
      device.linesAlwaysOn = true;
    }
    if (device.path.empty()) return std::nullopt;
    return device;
  }
  device.path = (prefix == "COM" ? "/dev/ttyS" : "/dev/lp") + std::to_string(*n - 1);
  return device;
}

}  // namespace imptherm::posix
