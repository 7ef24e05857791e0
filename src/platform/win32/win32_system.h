#pragma once
#include "platform/system.h"

namespace imptherm::win32 {

// Folders, environment and clock through the ANSI Win32 calls.
class Win32System final : public System {
 public:
  std::string TempPath() override;
  char PathSeparator() const override { return '\\'; }
  std::optional<std::string> GetEnv(const std::string& name) override;
  void SetEnv(const std::string& name, const std::string& value) override;
  std::string AllUsersFallback() override;
  bool DirectoryExists(const std::string& path) override;
  void CreateDirectories(const std::string& path) override;
  // win32_output_file.cpp
  std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, OpenMode mode) override;
  std::string LocalTimeStamp() override;
  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;
};

// "Error 5: Access is denied." for the thread's last error (or `code`).
std::string LastErrorText(unsigned long code);

}  // namespace imptherm::win32
