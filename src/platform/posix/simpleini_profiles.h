#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>

#include "platform/profile.h"

namespace imptherm::posix {

// INI files read and written with SimpleIni. A file is parsed again only when
// it changed on disk since the last read (its identity, size or times), so a
// run of jobs costs one stat per read while edits still show at once. Writes
// go through a temporary file renamed over the old one, so a failed write
// never leaves half a file.
class SimpleIniProfiles final : public ProfileFiles {
 public:
  // Files larger than this are neither read nor rewritten.
  static constexpr std::uintmax_t kMaxFileSize = 1 << 20;

  SimpleIniProfiles();
  ~SimpleIniProfiles() override;
  std::string ReadString(const std::string& path, const std::string& section, const std::string& key) override;
  Entries ReadSection(const std::string& path, const std::string& section) override;
  bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Flush(const std::string& path) override;

  struct Cache;

 private:
  std::unique_ptr<Cache> cache_;
};

}  // namespace imptherm::posix
