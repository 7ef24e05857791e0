#pragma once
#include <sys/types.h>

#include <ctime>
#include <string>

#include "platform/profile.h"

namespace imptherm::posix {

// INI files read and edited the way the Windows profile functions do it:
// a write changes the bytes of one line (or inserts one), in place, keeping
// the file's other lines and their line ends exactly as they were.
//
// A print run reads the model's section once per job: the section last read
// is kept and read again only when the file changed on disk (its identity,
// size or times differ). A file changed in the last 50 ms is not kept, since
// a second change within the file system's time stamp resolution would go
// unseen.
class PosixProfiles final : public ProfileFiles {
 public:
  std::string ReadString(const std::string& path, const std::string& section, const std::string& key) override;
  const Entries& ReadSection(const std::string& path, const std::string& section) override;
  bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Flush(const std::string& path) override;

 private:
  struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{}, ctime{};
    bool operator==(const Stamp& o) const;
  };
  struct KeptSection {
    bool valid = false;
    std::string path, section;
    Stamp stamp;
    Entries entries;
  };
  KeptSection kept_;
  Entries read_;  // a section read but not kept
};

}  // namespace imptherm::posix
