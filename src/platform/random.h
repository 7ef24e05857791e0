#pragma once
#include <cstddef>
#include <string>

namespace imptherm {

// `count` bytes from the system's random source (getrandom on POSIX,
// RtlGenRandom on Windows), for values others must not guess. Defined by
// the backend and called only by the hosts (the bridge's run numbers), which
// link it. Raises PlatformError when the source cannot be read.
std::string SystemRandomBytes(std::size_t count);

}  // namespace imptherm
