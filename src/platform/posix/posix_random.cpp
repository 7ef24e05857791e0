#include <sys/random.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/random.h"

namespace imptherm {

std::string SystemRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t done = 0; done < count;) {
    const ssize_t n = ::getrandom(bytes.data() + done, count - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw PlatformError(std::string("cannot read the system's random source: ") + std::strerror(errno));
    }
    done += static_cast<std::size_t>(n);
  }
  return bytes;
}

}  // namespace imptherm
