// Any port name and any user mapping must map without crashing, and a name
// must map only when it is the prefix followed by a port number.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/port_names.h"
#include "platform/posix/posix_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  const std::string name = input.substr(0, cut);
  const std::string mapping = cut == std::string::npos ? "" : input.substr(cut + 1);
  imptherm::posix::PosixSystem system;
  const std::string variable = "IMPTHERM_" + name;
  const bool mapped = mapping.find('\0') == std::string::npos && variable.find('=') == std::string::npos &&
                      variable.find('\0') == std::string::npos && ::setenv(variable.c_str(), mapping.c_str(), 1) == 0;
  for (const char* prefix : {"COM", "LPT"}) {
    const auto device = imptherm::posix::MapPortName(system, name, prefix);
    if (!device) continue;
    if (device->path.empty()) std::abort();
    if (name.compare(0, 3, prefix) != 0 || name.size() < 4 || name.size() > 6) std::abort();
    for (std::size_t i = 3; i < name.size(); ++i)
      if (name[i] < '0' || name[i] > '9') std::abort();
  }
  if (mapped) ::unsetenv(variable.c_str());
  return 0;
}
