#include "control/property_bag_source.h"

#include "platform/win32/cp1252.h"

namespace imptherm::control {

PropertyBagSource::PropertyBagSource(IPropertyBag* bag, IErrorLog* errorLog) : bag_(bag), errorLog_(errorLog) {
  ::VariantInit(&value_);
}

PropertyBagSource::~PropertyBagSource() { ::VariantClear(&value_); }

std::optional<std::string> PropertyBagSource::Read(const std::string& name) {
  if (!bag_) return std::nullopt;
  BSTR wideName = ::SysAllocString(win32::Widen(name).c_str());
  if (!wideName) return std::nullopt;
  const HRESULT hr = bag_->Read(wideName, &value_, errorLog_);
  ::SysFreeString(wideName);
  if (hr != S_OK) return std::nullopt;
  if (value_.vt != VT_BSTR && FAILED(::VariantChangeType(&value_, &value_, 0, VT_BSTR))) {
    ::VariantClear(&value_);
    return std::nullopt;
  }
  std::string text = win32::Narrow(value_.bstrVal, static_cast<int>(::SysStringLen(value_.bstrVal)));
  // Keep asking for strings, but free this one now: a bag may overwrite the
  // variant without clearing it, and then the old string would leak.
  ::SysFreeString(value_.bstrVal);
  value_.bstrVal = nullptr;
  return text;
}

}  // namespace imptherm::control
