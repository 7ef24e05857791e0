#include "platform/posix/posix_network.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/network_messages.h"
#include "platform/posix/interrupt.h"
#include "platform/posix/unique_fd.h"

namespace imptherm::posix {
namespace {

std::string Reason(int error) { return std::strerror(error); }

class SocketConnection final : public Connection {
 public:
  SocketConnection(UniqueFd fd, std::string peer) : fd_(std::move(fd)), peer_(std::move(peer)) {}

  void Send(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) {
          ThrowIfInterrupted();
          continue;
        }
        throw NetError(messages::SendFailed(peer_, Reason(errno)));
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  std::ptrdiff_t Receive(char* buffer, std::size_t size, int limitMs) override {
    for (;;) {
      if (limitMs != kNoLimit) {
        pollfd p{fd_.get(), POLLIN, 0};
        int r = ::poll(&p, 1, limitMs);
        if (r < 0 && errno == EINTR) {
          ThrowIfInterrupted();
          continue;
        }
        if (r == 0) return kTimedOut;
      }
      ssize_t n = ::recv(fd_.get(), buffer, size, 0);
      if (n >= 0) return n;
      if (errno == EINTR) {
        ThrowIfInterrupted();
        continue;
      }
      throw NetError(messages::ReceiveFailed(peer_, Reason(errno)));
    }
  }

  bool IsOpen() override {
    if (!fd_) return false;
    char byte;
    ssize_t n = ::recv(fd_.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }

  void Close() override { fd_.Reset(); }

  // A shutdown wakes poll and recv in the other thread, and every later
  // recv returns 0 at once, so a wait that begins after it ends too.
  void Abort() override {
    if (fd_) ::shutdown(fd_.get(), SHUT_RDWR);
  }

 private:
  UniqueFd fd_;
  std::string peer_;
};

// Connects `fd` within `limitMs`. Returns 0 or the errno of the failure;
// ETIMEDOUT when the limit ran out.
int ConnectWithin(int fd, const addrinfo& a, int limitMs) {
  if (::connect(fd, a.ai_addr, a.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS && errno != EINTR) return errno;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    int wait = -1;
    if (limitMs != Connection::kNoLimit) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd p{fd, POLLOUT, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0 && errno == EINTR) {
      if (InterruptRequested()) return EINTR;
      continue;
    }
    if (r < 0) return errno;
    if (r == 0) return ETIMEDOUT;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
    return error;
  }
}

}  // namespace

std::unique_ptr<Connection> PosixNetwork::Connect(const std::string& host, int port, int limitMs) {
  const std::string peer = host + ":" + std::to_string(port);
  if (port < 1 || port > 65535) throw NetError(messages::BadPort(peer));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) throw NetError(messages::UnknownHost(host, ::gai_strerror(rc)));
  int lastError = 0;
  for (addrinfo* a = list; a; a = a->ai_next) {
    // Non-blocking while it connects, so that the wait has a limit.
    UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (!fd) {
      lastError = errno;
      continue;
    }
    lastError = ConnectWithin(fd.get(), *a, limitMs);
    if (lastError == 0) {
      ::freeaddrinfo(list);
      ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
      int one = 1;
      ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return std::make_unique<SocketConnection>(std::move(fd), peer);
    }
    if (InterruptRequested()) break;
  }
  ::freeaddrinfo(list);
  ThrowIfInterrupted();
  if (lastError == ETIMEDOUT && limitMs != Connection::kNoLimit)
    throw NetError(messages::NoConnectAnswer(peer, limitMs));
  throw NetError(messages::CannotConnect(peer, Reason(lastError)));
}

}  // namespace imptherm::posix
