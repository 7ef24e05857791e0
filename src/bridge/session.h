#pragma once
// One connection of the bridge, from its first request to its close: the
// requests and answers, or the event stream of a run it follows. Touched on
// the server's thread only.
#include <utility>  // before Asio: Boost 1.74's awaitable.hpp needs std::exchange

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/handler.h"
#include "bridge/printer_lister.h"
#include "bridge/runs.h"
#include "bridge/server.h"

namespace imptherm::bridge {

class Session;
using SessionClock = std::chrono::steady_clock;

// The connections not closed yet; shared with the sessions, the last of
// which may go after the server's own state, in the stopped loop.
struct Connections {
  std::vector<Session*> open;
  std::size_t streams = 0;
  SessionClock::time_point fullLogged;  // at most a line a minute on reaching the limit
  std::function<void()> freed;          // a connection closed
};

// What every session of one server works with.
struct ServerShared {
  BridgeHandler& handler;
  PrinterLister& printers;
  std::function<void(const std::string&)> log;
  std::shared_ptr<Connections> connections = std::make_shared<Connections>();
  std::size_t maxConnections = kMaxConnections;
  std::size_t maxStreams = kMaxConnections / 2;
  std::chrono::milliseconds idleTimeLimit = kIdleTimeLimit;
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(boost::asio::ip::tcp::socket socket, ServerShared& shared);
  ~Session();
  void Start() { Read(); }

  // An event stream is a page following its run, never closed for another.
  bool streaming() const { return run_ != nullptr; }
  // When the connection last began to wait: for a request (after its
  // accept or its last answer), or on its answer once the request came whole.
  SessionClock::time_point since() const { return since_; }

  void Close();

 private:
  void Forget();
  void Read();
  void ReadHeader();
  void OnRead(boost::beast::error_code ec);
  const std::string& OtherUser();
  void Write(BridgeResponse r, bool keepAlive);
  void StartEvents(BridgeResponse r);
  void WatchPeer();
  void Pump();

  boost::beast::tcp_stream stream_;
  ServerShared& shared_;
  std::shared_ptr<Connections> connections_;
  boost::beast::flat_buffer buffer_;
  std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
  std::optional<std::string> otherUser_;
  std::shared_ptr<PrintRunEntry> run_;
  std::uint64_t watch_ = 0;
  std::uint64_t cursor_ = 0;
  SessionClock::time_point since_ = SessionClock::now();
  bool writing_ = false;
  bool closed_ = false;
  char peerByte_[1];
};

}  // namespace imptherm::bridge
