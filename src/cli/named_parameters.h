#pragma once
#include "cli/html_params.h"
#include "run/parameters.h"

namespace imptherm::cli {

// Page parameters given on the command line or read from a page. Names match
// without regard to letter case, as a browser's property bag does; when a
// name is given twice the later value wins.
class NamedParameters final : public ParameterSource {
 public:
  explicit NamedParameters(NamedValues values) : values_(std::move(values)) {}
  std::optional<std::string> Read(const std::string& name) override;

 private:
  NamedValues values_;
};

}  // namespace imptherm::cli
