#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace imptherm::testing {

// What the server sends back for one request.
struct ServerReply {
  std::string bytes;
  bool close = true;          // close the connection after sending
  std::size_t fillBytes = 0;  // then this many generated body bytes, sent in blocks
  bool reset = false;         // then break the connection (a reset) instead of closing it
  // Not zero: the fill bytes go one at a time, this long apart (a trickle).
  std::chrono::milliseconds fillPause{0};
};

// An HTTP server on 127.0.0.1 with an ephemeral port, for the tests: it
// records every request as raw bytes together with the number of the
// connection it came on, and answers through the test's handler.
class LoopbackServer {
 public:
  using Handler = std::function<ServerReply(const std::string& request, int connection)>;
  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::vector<std::string> requests();
  std::vector<int> connections();
  int accepted() const { return accepted_; }
  // Closes every connection that waits for its next request, as a server
  // does with idle kept connections.
  void CloseIdle();

  // The byte at `i` of a generated body.
  static char FillByte(std::size_t i) { return static_cast<char>('a' + (i * 7 + i / 251) % 26); }

 private:
  void AcceptLoop();
  void Serve(int fd, int number);

  Handler handler_;
  int listen_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<int> connections_;
  std::vector<int> idle_;
  int replying_ = 0;  // connections between a whole request and the end of its reply
  std::condition_variable replied_;
  std::vector<int> open_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

// A port nobody listens on right now, for peers started by the tests.
int FreePort();

// A listening port whose queue of connections waiting to be accepted is
// full, so that the next connection attempt gets no answer.
class FullListenQueue {
 public:
  FullListenQueue();
  ~FullListenQueue();
  FullListenQueue(const FullListenQueue&) = delete;
  FullListenQueue& operator=(const FullListenQueue&) = delete;
  int port() const { return port_; }

 private:
  int listen_ = -1;
  int port_ = 0;
  std::vector<int> waiting_;
};

}  // namespace imptherm::testing
