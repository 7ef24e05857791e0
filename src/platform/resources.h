#pragma once
#include <optional>
#include <string>

namespace imptherm {

// String resources by id, as the module's string tables hold them.
class Resources {
 public:
  virtual ~Resources() = default;
  virtual std::optional<std::string> LoadString(int id) = 0;
};

}  // namespace imptherm
