#pragma once
#include "platform/profile.h"

namespace imptherm::posix {

// INI files read and edited the way the Windows profile functions do it:
// a write changes the bytes of one line (or inserts one), in place, keeping
// the file's other lines and their line ends exactly as they were. The file
// is read anew at every call; a printer configuration is a few hundred bytes.
class PosixProfiles final : public ProfileFiles {
 public:
  std::string ReadString(const std::string& path, const std::string& section, const std::string& key) override;
  Entries ReadSection(const std::string& path, const std::string& section) override;
  bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Flush(const std::string& path) override;
};

}  // namespace imptherm::posix
