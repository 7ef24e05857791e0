#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/output_file.h"

namespace imptherm {

// Base services of the operating system: folders, environment, clock.
class System {
 public:
  virtual ~System() = default;

  // The user's temporary folder as the system reports it; empty when it
  // reports none. May or may not end in the path separator.
  virtual std::string TempPath() = 0;
  // '\\' on Windows, '/' on POSIX.
  virtual char PathSeparator() const = 0;

  virtual std::optional<std::string> GetEnv(const std::string& name) = 0;
  virtual void SetEnv(const std::string& name, const std::string& value) = 0;

  // The folder that stands in for ALLUSERSPROFILE when the variable is not
  // set (Windows: the all-users profile on the system drive).
  virtual std::string AllUsersFallback() = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Creates the folder and its missing parents; raises PlatformError on failure.
  virtual void CreateDirectories(const std::string& path) = 0;
  // The one way the core opens a file for writing (see OutputFile for the
  // rules each backend keeps). Raises PlatformError.
  virtual std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, OpenMode mode) = 0;

  // Local date and time in the user's short date and long time formats,
  // separated by one blank.
  virtual std::string LocalTimeStamp() = 0;
  virtual std::uint32_t TickCount() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The Windows rule for the all-users folder when ALLUSERSPROFILE is missing:
// the drive of the Windows folder (or of the system folder) followed by
// "\Documents and Settings\All Users", or "C:" when neither is known. Pure
// text work, kept here so that both backends and the tests share it.
inline std::string AllUsersFromWindowsFolders(const std::string& windowsDir, const std::string& systemDir) {
  const std::string& known = !windowsDir.empty() ? windowsDir : systemDir;
  if (known.empty()) return "C:";
  std::string drive = known.size() >= 2 && known[1] == ':' ? known.substr(0, 2) : known.substr(0, known.find('\\'));
  return drive + "\\Documents and Settings\\All Users";
}

}  // namespace imptherm
