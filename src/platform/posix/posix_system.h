#pragma once
#include <ctime>
#include <string>

#include "platform/system.h"

namespace imptherm::posix {

// Why the file or folder at `path` is not this user's alone to change: it
// belongs to another user, or group or others may write it. Empty when it
// is. The temp folder is held to the same owner rule.
std::string WhyOthersMayChange(const std::string& path);

class PosixSystem final : public System {
 public:
  PosixSystem();
  std::string TempPath() override;
  char PathSeparator() const override { return '/'; }
  std::optional<std::string> GetEnv(const std::string& name) override;
  void SetEnv(const std::string& name, const std::string& value) override;
  std::string AllUsersFallback() override;
  bool DirectoryExists(const std::string& path) override;
  void CreateDirectories(const std::string& path) override;
  // posix_output_file.cpp
  std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, OpenMode mode) override;
  std::string LocalTimeStamp() override;
  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  std::time_t stampTime_ = 0;
  std::string stamp_;
};

}  // namespace imptherm::posix
