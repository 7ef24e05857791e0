#pragma once
#include <windows.h>

#include "platform/resources.h"

namespace imptherm::win32 {

// The string tables of the module the backend lives in (the control).
class Win32Resources final : public Resources {
 public:
  explicit Win32Resources(HINSTANCE module) : module_(module) {}
  std::optional<std::string> LoadString(int id) override;

 private:
  HINSTANCE module_;
};

}  // namespace imptherm::win32
