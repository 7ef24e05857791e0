#include "cli/named_parameters.h"

#include "base/text.h"

namespace imptherm::cli {

std::optional<std::string> NamedParameters::Read(const std::string& name) {
  const std::string wanted = UpperAscii(name);
  for (auto it = values_.rbegin(); it != values_.rend(); ++it)
    if (UpperAscii(it->first) == wanted) return it->second;
  return std::nullopt;
}

}  // namespace imptherm::cli
