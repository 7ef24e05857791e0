#pragma once
#include <windows.h>

#include <new>

// Small helpers shared by the COM methods of the control.
namespace imptherm::control {

// No C++ exception may leave a COM method: what escapes becomes a failure.
template <typename F>
HRESULT Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

inline VARIANT_BOOL ToVariant(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace imptherm::control
