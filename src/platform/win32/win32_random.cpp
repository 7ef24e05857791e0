#include <windows.h>
// After windows.h: RtlGenRandom is SystemFunction036 of advapi32.
#include <ntsecapi.h>

#include "platform/error.h"
#include "platform/random.h"

namespace imptherm {

std::string SystemRandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  if (count != 0 && !::RtlGenRandom(bytes.data(), static_cast<ULONG>(count)))
    throw PlatformError("cannot read the system's random source");
  return bytes;
}

}  // namespace imptherm
