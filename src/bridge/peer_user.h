#pragma once
// Whose process is at the other end of a loopback connection: a bridge
// serves the processes of its own user only, so that on a computer shared
// by several people one user's pages never print through another's bridge
// (that bridge's printers, files, cookies and run log). One implementation
// per system: peer_user_linux.cpp, peer_user_win32.cpp.
#include <array>
#include <cstdint>
#include <string>

namespace imptherm::bridge {

// One end of a TCP connection.
struct TcpEnd {
  bool v6 = false;
  std::array<std::uint8_t, 16> address{};  // network order; IPv4 in the first four bytes
  std::uint16_t port = 0;
  bool operator==(const TcpEnd&) const = default;
};

// Empty when the process at `peer`, the other end of the connection
// accepted at `bridge`, runs as this process's user. Otherwise why it is
// not served: it runs as another user, or its user could not be learned
// (a connection whose user is unknown is refused too).
std::string WhyNotSameUser(const TcpEnd& bridge, const TcpEnd& peer);

#ifdef _WIN32
// Empty when process `pid` runs as this process's user (its token's);
// otherwise why not, or why that cannot be learned.
std::string WhyNotSameUserProcess(unsigned long pid);
#endif

}  // namespace imptherm::bridge
