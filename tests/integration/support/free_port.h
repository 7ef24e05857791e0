#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace imptherm::testing {

// A port of loopback that nothing listens on now, for a peer that must be
// told its port before it starts.
inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

// The first of `count` consecutive loopback ports that nothing listens on
// now (on 127.0.0.1 and ::1), for peers that take the first free port of a
// range; 0 when none was found.
inline int FreeLoopbackPorts(int count) {
  const auto free = [](int family, int port) {
    const int fd = ::socket(family, SOCK_STREAM, 0);
    sockaddr_in6 a6{};
    sockaddr_in a4{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_loopback;
    a6.sin6_port = htons(static_cast<std::uint16_t>(port));
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a4.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = family == AF_INET6 ? ::bind(fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6) == 0
                                       : ::bind(fd, reinterpret_cast<sockaddr*>(&a4), sizeof a4) == 0;
    ::close(fd);
    return ok;
  };
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int first = FreeLoopbackPort();
    bool all = first != 0 && first + count <= 65536;
    for (int i = 0; all && i < count; ++i) all = free(AF_INET, first + i) && free(AF_INET6, first + i);
    if (all) return first;
  }
  return 0;
}

}  // namespace imptherm::testing
