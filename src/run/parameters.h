#pragma once
#include <optional>
#include <string>

namespace imptherm {

// Where the page parameters come from: the control's property bag, or the
// command line. A read that yields nothing means the parameter is absent.
class ParameterSource {
 public:
  virtual ~ParameterSource() = default;
  virtual std::optional<std::string> Read(const std::string& name) = 0;
};

}  // namespace imptherm
