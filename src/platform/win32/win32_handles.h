#pragma once
#include <windows.h>

#include "base/owned_handle.h"

namespace imptherm::win32 {

struct DcTraits {
  using Handle = HDC;
  static HDC Invalid() { return nullptr; }
  static void Close(HDC dc) { ::DeleteDC(dc); }
};

// A device context, deleted when it goes out of scope.
using UniqueDc = OwnedHandle<DcTraits>;

}  // namespace imptherm::win32
