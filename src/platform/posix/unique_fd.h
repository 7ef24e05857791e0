#pragma once
#include <unistd.h>

#include "base/owned_handle.h"

namespace imptherm::posix {

struct FdTraits {
  using Handle = int;
  static int Invalid() { return -1; }
  static void Close(int fd) { ::close(fd); }
};

// A file descriptor, closed when it goes out of scope.
using UniqueFd = OwnedHandle<FdTraits>;

}  // namespace imptherm::posix
