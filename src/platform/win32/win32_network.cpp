#include "platform/win32/win32_network.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <utility>

#include "base/owned_handle.h"
#include "platform/network_messages.h"

namespace imptherm::win32 {
namespace {

// The system's own wording for a Winsock error, without the line break and
// final full stop FormatMessage puts at the end.
std::string Reason(int error) {
  char* text = nullptr;
  DWORD n =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = n && text ? std::string(text, n) : std::string();
  if (text) ::LocalFree(text);
  while (!reason.empty() &&
         (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ' || reason.back() == '.'))
    reason.pop_back();
  if (reason.empty()) reason = "erreur " + std::to_string(error);
  return reason;
}

struct SocketTraits {
  using Handle = SOCKET;
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static void Close(SOCKET s) { ::closesocket(s); }
};
using UniqueSocket = OwnedHandle<SocketTraits>;

class SocketConnection final : public Connection {
 public:
  SocketConnection(UniqueSocket s, std::string peer) : s_(std::move(s)), peer_(std::move(peer)) {}

  void Send(std::string_view bytes) override {
    while (!bytes.empty()) {
      if (!s_) throw NetError(messages::SendOnClosed(peer_));
      const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
      int n = ::send(s_.get(), bytes.data(), chunk, 0);
      if (n == SOCKET_ERROR) throw NetError(messages::SendFailed(peer_, Reason(::WSAGetLastError())));
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  std::ptrdiff_t Receive(char* buffer, std::size_t size, int limitMs) override {
    // Any negative limit waits as long as it takes, as kNoLimit does. The
    // wait goes in slices, so that Abort ends it whatever Winsock makes of
    // a shutdown from another thread.
    const DWORD start = ::GetTickCount();
    for (;;) {
      if (!s_ || aborted_) return 0;
      const long spent = static_cast<long>(::GetTickCount() - start);
      const long wait = limitMs < 0 ? kAbortCheckMs : std::clamp<long>(limitMs - spent, 0, kAbortCheckMs);
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(s_.get(), &readable);
      timeval slice{wait / 1000, (wait % 1000) * 1000};
      int r = ::select(0, &readable, nullptr, nullptr, &slice);
      if (aborted_) return 0;
      if (r == SOCKET_ERROR) throw ReceiveError(::WSAGetLastError());
      if (r > 0) break;
      if (limitMs >= 0 && spent + wait >= limitMs) return kTimedOut;
    }
    const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    int n = ::recv(s_.get(), buffer, chunk, 0);
    if (n >= 0 || aborted_) return std::max(n, 0);
    // A reset or aborted connection is a lost one, not the end of the data.
    throw ReceiveError(::WSAGetLastError());
  }

  void Abort() override {
    aborted_ = true;
    if (s_) ::shutdown(s_.get(), SD_BOTH);
  }

  bool IsOpen() override {
    if (!s_ || aborted_) return false;
    // Readable without waiting means the peer closed, broke the connection
    // or sent bytes nobody asked for: in every case it is not reusable.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s_.get(), &readable);
    timeval now{0, 0};
    return ::select(0, &readable, nullptr, nullptr, &now) == 0;
  }

  void Close() override { s_.Reset(); }

 private:
  NetError ReceiveError(int error) const { return NetError(messages::ReceiveFailed(peer_, Reason(error))); }

  static constexpr long kAbortCheckMs = 100;
  UniqueSocket s_;
  std::string peer_;
  std::atomic<bool> aborted_{false};
};

// Connects `s` within `limitMs`. Returns 0 or the Winsock error of the
// failure; WSAETIMEDOUT when the limit ran out.
int ConnectWithin(SOCKET s, const addrinfo& a, int limitMs) {
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  int error = 0;
  if (::connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
    error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval wait{limitMs / 1000, (limitMs % 1000) * 1000};
      int r = ::select(0, nullptr, &writable, &failed, limitMs >= 0 ? &wait : nullptr);
      if (r == SOCKET_ERROR) {
        error = ::WSAGetLastError();
      } else if (r == 0) {
        error = WSAETIMEDOUT;
      } else {
        int soError = 0;
        int len = sizeof soError;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
        error = FD_ISSET(s, &failed) && soError == 0 ? WSAECONNREFUSED : soError;
      }
    }
  }
  nonBlocking = 0;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  return error;
}

}  // namespace

Win32Network::Win32Network() {
  WSADATA data;
  started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32Network::~Win32Network() {
  if (started_) ::WSACleanup();
}

std::unique_ptr<Connection> Win32Network::Connect(const std::string& host, int port, int limitMs) {
  const std::string peer = host + ":" + std::to_string(port);
  if (port < 1 || port > 65535) throw NetError(messages::BadPort(peer));
  if (!started_) throw NetError(messages::NetworkNotStarted(peer));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) throw NetError(messages::UnknownHost(host, Reason(rc)));
  int lastError = 0;
  for (addrinfo* a = list; a; a = a->ai_next) {
    UniqueSocket s(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!s) {
      lastError = ::WSAGetLastError();
      continue;
    }
    // A socket must not leak into programs the host starts later.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s.get()), HANDLE_FLAG_INHERIT, 0);
    lastError = ConnectWithin(s.get(), *a, limitMs);
    if (lastError == 0) {
      ::freeaddrinfo(list);
      BOOL one = TRUE;
      ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
      return std::make_unique<SocketConnection>(std::move(s), peer);
    }
  }
  ::freeaddrinfo(list);
  if (lastError == WSAETIMEDOUT && limitMs >= 0) throw NetError(messages::NoConnectAnswer(peer, limitMs));
  throw NetError(messages::CannotConnect(peer, Reason(lastError)));
}

}  // namespace imptherm::win32
