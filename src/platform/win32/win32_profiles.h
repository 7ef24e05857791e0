#pragma once
#include "platform/profile.h"

namespace imptherm::win32 {

// INI files through the system's own profile functions, so the control reads
// and writes the printer configuration exactly as other Windows programs see it.
class Win32Profiles final : public ProfileFiles {
 public:
  // Values and sections larger than this are not read (the answer is empty):
  // no printer configuration comes near it.
  static constexpr unsigned long kMaxRead = 1UL << 20;

  std::string ReadString(const std::string& path, const std::string& section, const std::string& key) override;
  const Entries& ReadSection(const std::string& path, const std::string& section) override;
  bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Flush(const std::string& path) override;

 private:
  Entries read_;
};

}  // namespace imptherm::win32
