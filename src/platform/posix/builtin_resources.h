#pragma once
#include "platform/resources.h"

namespace imptherm::posix {

// The module's string table, compiled in from the shared resource list.
class BuiltinResources final : public Resources {
 public:
  std::optional<std::string> LoadString(int id) override;
};

}  // namespace imptherm::posix
