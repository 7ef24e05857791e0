#pragma once
#include <windows.h>

#include <ocidl.h>

#include "run/parameters.h"

namespace imptherm::control {

// The page's parameters as the host's property bag holds them. One VARIANT
// serves every read: empty for the first (the bag answers in its own type),
// then a string (the bag answers with strings). A read that does not return
// S_OK, or whose value cannot be read as text, is an absent parameter.
class PropertyBagSource final : public ParameterSource {
 public:
  PropertyBagSource(IPropertyBag* bag, IErrorLog* errorLog);
  ~PropertyBagSource() override;
  PropertyBagSource(const PropertyBagSource&) = delete;
  PropertyBagSource& operator=(const PropertyBagSource&) = delete;

  std::optional<std::string> Read(const std::string& name) override;

 private:
  IPropertyBag* bag_;
  IErrorLog* errorLog_;
  VARIANT value_;
};

}  // namespace imptherm::control
