#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>

namespace imptherm::testing {
namespace {

int ListenOnLoopback(int& port, int backlog = 16) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0)
    throw std::runtime_error("cannot listen on loopback");
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int FreePort() {
  int port = 0;
  int fd = ListenOnLoopback(port);
  ::close(fd);
  return port;
}

FullListenQueue::FullListenQueue() {
  listen_ = ListenOnLoopback(port_, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port_));
  // The first one fills the queue (it completes, nobody accepts it); the
  // second one makes sure the queue stays full.
  for (int i = 0; i < 2; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (i ? SOCK_NONBLOCK : 0), 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && i == 0)
      throw std::runtime_error("cannot fill the listen queue");
    waiting_.push_back(fd);
  }
}

FullListenQueue::~FullListenQueue() {
  for (int fd : waiting_) ::close(fd);
  ::close(listen_);
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  listen_ = ListenOnLoopback(port_);
  if (::pipe(wake_) != 0) throw std::runtime_error("pipe");
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  [[maybe_unused]] auto w = ::write(wake_[1], "x", 1);
  acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& t : threads_) t.join();
  ::close(listen_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::vector<std::string> LoopbackServer::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<int> LoopbackServer::connections() {
  std::lock_guard lock(mutex_);
  return connections_;
}

void LoopbackServer::CloseIdle() {
  // The client may have read a whole reply before the serving thread is back
  // waiting for the next request: wait for the replies to end, so that every
  // kept connection is counted as idle (bounded, in case a client stopped
  // reading).
  std::unique_lock lock(mutex_);
  replied_.wait_for(lock, std::chrono::seconds(10), [this] { return replying_ == 0; });
  for (int fd : idle_) ::shutdown(fd, SHUT_RDWR);
  idle_.clear();
}

void LoopbackServer::AcceptLoop() {
  while (!stop_) {
    pollfd p[2] = {{listen_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) <= 0 || (p[1].revents & POLLIN)) continue;
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int number = ++accepted_;
    std::lock_guard lock(mutex_);
    open_.push_back(fd);
    threads_.emplace_back([this, fd, number] { Serve(fd, number); });
  }
}

void LoopbackServer::Serve(int fd, int number) {
  std::string buffer;
  char block[65536];
  {
    std::lock_guard lock(mutex_);
    idle_.push_back(fd);
  }
  for (;;) {
    std::size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      ssize_t n = ::recv(fd, block, sizeof block, 0);
      if (n <= 0) break;
      buffer.append(block, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard lock(mutex_);
      idle_.erase(std::remove(idle_.begin(), idle_.end(), fd), idle_.end());
      if (end != std::string::npos) ++replying_;
    }
    if (end == std::string::npos) break;
    std::string request = buffer.substr(0, end + 4);
    buffer.erase(0, end + 4);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      connections_.push_back(number);
    }
    ServerReply reply = handler_(request, number);
    bool ok = SendAll(fd, reply.bytes.data(), reply.bytes.size());
    for (std::size_t sent = 0; ok && sent < reply.fillBytes;) {
      if (sent > 0 && reply.fillPause.count() > 0) {
        // Bounded steps, so that the server's end is not kept waiting.
        const auto next = std::chrono::steady_clock::now() + reply.fillPause;
        while (!stop_ && std::chrono::steady_clock::now() < next)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      std::size_t n = std::min(reply.fillPause.count() > 0 ? 1 : sizeof block, reply.fillBytes - sent);
      for (std::size_t i = 0; i < n; ++i) block[i] = FillByte(sent + i);
      ok = SendAll(fd, block, n);
      sent += n;
    }
    if (ok && reply.reset) {
      linger abort{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    const bool kept = ok && !reply.close && !reply.reset;
    {
      // Idle again in the same step that ends the reply.
      std::lock_guard lock(mutex_);
      --replying_;
      if (kept) idle_.push_back(fd);
    }
    replied_.notify_all();
    if (!kept) break;
  }
  std::lock_guard lock(mutex_);
  open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
  ::close(fd);
}

}  // namespace imptherm::testing
