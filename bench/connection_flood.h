#pragma once
#include <utility>  // before Asio: Boost 1.74's awaitable.hpp needs std::exchange
// A hostile local process, bounded: connections that send their request
// header a line at a time and connect again whenever the bridge closes them,
// and connections that send requests the bridge refuses (no Origin), the next
// one as soon as the answer is in. All on one thread of its own.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace imptherm::bench {

class ConnectionFlood {
 public:
  ConnectionFlood(int port, int slow, int refusing)
      : to_(boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)),
        refused_("GET /v1/version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n") {
    for (int i = 0; i < slow; ++i) std::make_shared<Slow>(*this)->Connect();
    for (int i = 0; i < refusing; ++i) std::make_shared<Refusing>(*this)->Connect();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~ConnectionFlood() {
    guard_.reset();
    io_.stop();
    thread_.join();
  }
  ConnectionFlood(const ConnectionFlood&) = delete;
  ConnectionFlood& operator=(const ConnectionFlood&) = delete;

  long closedByBridge() const { return closed_; }  // connections the bridge ended
  long refusals() const { return refusals_; }      // refused requests answered

 private:
  using tcp = boost::asio::ip::tcp;

  // One connection: the header's first line, then another header line every
  // second, never the blank line that ends it.
  struct Slow : std::enable_shared_from_this<Slow> {
    explicit Slow(ConnectionFlood& f) : flood(f), socket(f.io_), timer(f.io_) {}
    void Connect() {
      socket.async_connect(flood.to_, [self = shared_from_this()](boost::system::error_code ec) {
        if (ec) return self->flood.Again<Slow>(self->timer);
        self->Send("GET /v1/version HTTP/1.1\r\n");
        // The bridge's close ends the read: the next connection takes over.
        self->socket.async_read_some(boost::asio::buffer(self->byte, 1),
                                     [self](boost::system::error_code, std::size_t) {
                                       ++self->flood.closed_;
                                       self->timer.cancel();
                                       std::make_shared<Slow>(self->flood)->Connect();
                                     });
      });
    }
    void Send(const char* text) {
      boost::asio::async_write(socket, boost::asio::buffer(text, std::char_traits<char>::length(text)),
                               [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                                 if (ec) return;
                                 self->timer.expires_after(std::chrono::seconds(1));
                                 self->timer.async_wait([self](boost::system::error_code ec) {
                                   if (!ec) self->Send("X-Slow: 1\r\n");
                                 });
                               });
    }
    ConnectionFlood& flood;
    tcp::socket socket;
    boost::asio::steady_timer timer;
    char byte[1];
  };

  // One connection sending refused requests while the bridge keeps it open.
  struct Refusing : std::enable_shared_from_this<Refusing> {
    explicit Refusing(ConnectionFlood& f) : flood(f), socket(f.io_), timer(f.io_) {}
    void Connect() {
      socket.async_connect(flood.to_, [self = shared_from_this()](boost::system::error_code ec) {
        if (ec) return self->flood.Again<Refusing>(self->timer);
        self->Send();
      });
    }
    void Send() {
      boost::asio::async_write(socket, boost::asio::buffer(flood.refused_),
                               [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                                 if (ec) return self->Next();
                                 self->answer = {};
                                 boost::beast::http::async_read(self->socket, self->buffer, self->answer,
                                                                [self](boost::system::error_code ec, std::size_t) {
                                                                  if (ec) return self->Next();
                                                                  ++self->flood.refusals_;
                                                                  if (self->answer.keep_alive()) return self->Send();
                                                                  self->Next();
                                                                });
                               });
    }
    void Next() {
      ++flood.closed_;
      std::make_shared<Refusing>(flood)->Connect();
    }
    ConnectionFlood& flood;
    tcp::socket socket;
    boost::asio::steady_timer timer;
    boost::beast::flat_buffer buffer;
    boost::beast::http::response<boost::beast::http::string_body> answer;
  };

  // A connection the system refused: again a moment later.
  template <typename Client>
  void Again(boost::asio::steady_timer& timer) {
    timer.expires_after(std::chrono::milliseconds(100));
    timer.async_wait([this](boost::system::error_code ec) {
      if (!ec) std::make_shared<Client>(*this)->Connect();
    });
  }

  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard_ = boost::asio::make_work_guard(io_);
  tcp::endpoint to_;
  std::string refused_;
  std::atomic<long> closed_{0}, refusals_{0};
  std::thread thread_;
};

// The time from connecting to the whole answer of a request an allowed page
// would send, in milliseconds; negative when no answer came within `limitMs`.
inline double AnswerMs(int port, const std::string& origin, int limitMs) {
  const auto start = std::chrono::steady_clock::now();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  timeval limit{limitMs / 1000, (limitMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET /v1/version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nOrigin: " + origin + "\r\nConnection: close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char block[1024];
    for (ssize_t n; (n = ::recv(fd, block, sizeof block, 0)) > 0;) answer.append(block, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return answer.rfind("HTTP/1.1 200 ", 0) == 0 && answer.find("\"api\":1") != std::string::npos ? ms : -1;
}

}  // namespace imptherm::bench
