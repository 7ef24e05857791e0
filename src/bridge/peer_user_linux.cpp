// The peer's user from the kernel's socket lookup (NETLINK_SOCK_DIAG): the
// exact address pair names one socket, whose owner the kernel knows, at the
// cost of one message however many connections the machine has.
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/parsed.h"
#include "bridge/peer_user.h"

namespace imptherm::bridge {
namespace {

// An IPv4 peer of a dual-stack socket shows as ::ffff:a.b.c.d; the kernel
// keeps its socket among the IPv4 ones.
TcpEnd Unmapped(TcpEnd end) {
  static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (!end.v6 || std::memcmp(end.address.data(), kMapped, sizeof kMapped) != 0) return end;
  TcpEnd v4;
  std::memcpy(v4.address.data(), end.address.data() + 12, 4);
  v4.port = end.port;
  return v4;
}

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The owner of the socket whose own end is `own` and whose other end is
// `other`, as the kernel's answer names it, or why it names none.
Parsed<uid_t> SocketOwner(const TcpEnd& own, const TcpEnd& other) {
  struct Request {
    nlmsghdr header;
    inet_diag_req_v2 socket;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  request.socket.sdiag_family = own.v6 ? AF_INET6 : AF_INET;
  request.socket.sdiag_protocol = IPPROTO_TCP;
  request.socket.idiag_states = ~0u;
  request.socket.id.idiag_sport = htons(own.port);
  request.socket.id.idiag_dport = htons(other.port);
  std::memcpy(request.socket.id.idiag_src, own.address.data(), own.v6 ? 16 : 4);
  std::memcpy(request.socket.id.idiag_dst, other.address.data(), other.v6 ? 16 : 4);
  request.socket.id.idiag_cookie[0] = request.socket.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

  const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0) return ParseError{SystemError("the kernel's socket lookup cannot be opened")};
  // The kernel answers at once; the limit only keeps a broken kernel from
  // holding the server's thread.
  timeval limit{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  alignas(nlmsghdr) char answer[8192];
  ssize_t size = -1;
  sockaddr_nl sender{};
  socklen_t senderSize = sizeof sender;
  std::string failed;
  if (::sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
    failed = SystemError("the kernel's socket lookup refused the request");
  else if ((size = ::recvfrom(fd, answer, sizeof answer, 0, reinterpret_cast<sockaddr*>(&sender), &senderSize)) < 0)
    failed = SystemError("the kernel's socket lookup did not answer");
  ::close(fd);
  if (size < 0) return ParseError{failed};
  // Only the kernel's own answer counts.
  if (sender.nl_pid != 0) return ParseError{"the answer to the socket lookup did not come from the kernel"};

  auto length = static_cast<unsigned int>(size);
  for (auto* h = reinterpret_cast<nlmsghdr*>(answer); NLMSG_OK(h, length); h = NLMSG_NEXT(h, length)) {
    if (h->nlmsg_type == NLMSG_ERROR) {
      const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
      return ParseError{error->error == -ENOENT
                            ? "the kernel knows no such connection"
                            : "the kernel's socket lookup failed: " + std::string(std::strerror(-error->error))};
    }
    if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) continue;
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
    // A socket that its process has closed is no open file any more (no
    // inode), and the kernel may keep it as a bare record whose owner reads
    // as root: it tells nothing, and root must not be guessed.
    if (found->idiag_inode == 0) return ParseError{"its process has closed its end"};
    return static_cast<uid_t>(found->idiag_uid);
  }
  return ParseError{"the kernel's socket lookup gave no answer"};
}

}  // namespace

std::string WhyNotSameUser(const TcpEnd& bridge, const TcpEnd& peer) {
  const Parsed<uid_t> uid = SocketOwner(Unmapped(peer), Unmapped(bridge));
  if (!uid) return "the user of the process at the other end cannot be learned (" + uid.error() + ")";
  if (*uid == ::geteuid()) return "";
  return "the process at the other end runs as another user (uid " + std::to_string(*uid) + ")";
}

}  // namespace imptherm::bridge
