// Printer configuration files of any bytes: read, seeded when needed, and
// turned into configuration lines.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "labels/printer_config.h"
#include "platform/error.h"
#include "platform/posix/posix_profiles.h"
#include "platform/posix/posix_system.h"

using namespace imptherm;

namespace {

struct Folder {
  Folder() {
    path = std::filesystem::temp_directory_path() / ("imptherm-fuzz-ini-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path / "MERIDON");
    ::setenv("ALLUSERSPROFILE", path.c_str(), 1);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  static posix::PosixSystem system;
  static posix::PosixProfiles profiles;
  if (size == 0) return 0;
  const std::string prnType(1, static_cast<char>('0' + data[0] % 7));
  std::ofstream(folder.path / "MERIDON" / kPrinterConfigFileName, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));

  std::string lines;
  try {
    lines = LoadPrinterConfiguration(system, profiles, prnType);
  } catch (const PlatformError&) {
    return 0;
  }
  // Whole lines only, at most 99 of them, and never an empty one.
  int count = 0;
  for (std::size_t at = 0; at < lines.size(); ++count) {
    const std::size_t end = lines.find("\r\n", at);
    if (end == std::string::npos || end == at) std::abort();
    at = end + 2;
  }
  if (count > 99 || (prnType >= "1" && prnType <= "5" && count == 0)) std::abort();
  return 0;
}
