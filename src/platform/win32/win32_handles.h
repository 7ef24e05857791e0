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

struct HandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};

// A kernel object handle, closed when it goes out of scope. The value that is
// no handle is the one CreateFile fails with; a call that fails with null
// instead is checked before its handle is put in here.
using UniqueHandle = OwnedHandle<HandleTraits>;

}  // namespace imptherm::win32
