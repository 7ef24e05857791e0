// The bridge's HTTP side over Boost.Beast: the listening sockets, the
// admission of connections at the limit, and the worker thread. All state is
// touched on the one server thread; the worker thread only runs print runs
// and posts back.
#include <utility>  // before Asio: Boost 1.74's awaitable.hpp needs std::exchange

#include "bridge/server.h"

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "bridge/printer_lister.h"
#include "bridge/session.h"
#include "bridge/worker.h"

namespace imptherm::bridge {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

using Clock = SessionClock;
// How long a stopping bridge lets its event streams take their last events.
constexpr auto kStopDrainLimit = std::chrono::seconds(1);

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(tcp::acceptor acceptor, ServerShared& shared)
      : acceptor_(std::move(acceptor)), shared_(shared), retry_(acceptor_.get_executor()) {}
  void Accept() {
    acceptor_.async_accept([self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !self->acceptor_.is_open()) return;
      if (ec) return self->Accept();
      self->accepted_.emplace(std::move(socket));
      self->Admit();
    });
  }

  // The connection accepted last becomes a session as soon as there is
  // room; until then no other is accepted. At the limit it takes the place
  // of the connection (not an event stream) that has gone longest without
  // sending a whole request, once that one has had kReplaceGrace: one that
  // trickles its header or idles goes first, never one whose request is
  // coming in as a page's does. So the open connections turn over at least
  // every kReplaceGrace however they are held, and a page's connection
  // waits only behind those in the listen queue before it.
  void Admit() {
    if (!accepted_ || !acceptor_.is_open()) return;
    Connections& c = *shared_.connections;
    Session* oldest = nullptr;
    if (c.open.size() >= shared_.maxConnections) {
      if (c.fullLogged == Clock::time_point() || Clock::now() - c.fullLogged > std::chrono::minutes(1)) {
        shared_.log(std::to_string(shared_.maxConnections) +
                    " connections are open: each new one takes the place of the one longest without a request");
        c.fullLogged = Clock::now();
      }
      for (Session* s : c.open)
        if (!s->streaming() && (!oldest || s->since() < oldest->since())) oldest = s;
      const Clock::time_point due = oldest ? oldest->since() + kReplaceGrace : Clock::now() + kReplaceGrace;
      if (due > Clock::now()) {
        retry_.expires_at(due);
        retry_.async_wait([self = shared_from_this()](beast::error_code ec) {
          if (!ec) self->Admit();
        });
        return;
      }
    }
    retry_.cancel();
    auto session = std::make_shared<Session>(std::move(*accepted_), shared_);
    accepted_.reset();
    if (oldest) oldest->Close();
    session->Start();
    Accept();
  }

  void Stop() {
    beast::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
  }

 private:
  tcp::acceptor acceptor_;
  ServerShared& shared_;
  std::optional<tcp::socket> accepted_;
  asio::steady_timer retry_;
};

// Binds a loopback address; the error when it cannot.
beast::error_code Bind(tcp::acceptor& acceptor, const tcp::endpoint& at) {
  beast::error_code ec;
  acceptor.open(at.protocol(), ec);
  if (!ec && at.address().is_v6()) acceptor.set_option(asio::ip::v6_only(true), ec);
#ifdef _WIN32
  // Windows would let a socket with SO_REUSEADDR share the port, so that a
  // second bridge took the first one's instead of the next free port.
  if (!ec) acceptor.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), ec);
#else
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
#endif
  if (!ec) acceptor.bind(at, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  return ec;
}

// Listens on 127.0.0.1, and on ::1 where the machine has it, at the first
// of `count` ports from `first` on that is free on both: the ones before
// may be other users' bridges. False with the reason when none is.
bool ListenOnFirstFree(asio::io_context& io, int first, int count, std::vector<tcp::acceptor>& acceptors,
                       std::string& error) {
  count = std::max(1, std::min(count, 65536 - first));
  for (int i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    tcp::acceptor v4(io), v6(io);
    beast::error_code ec = Bind(v4, {asio::ip::address_v4::loopback(), static_cast<unsigned short>(first + i)});
    if (ec == asio::error::address_in_use && !last) continue;
    if (ec) {
      error = count > 1 && ec == asio::error::address_in_use
                  ? "ports " + std::to_string(first) + " to " + std::to_string(first + i) +
                        " are all taken on 127.0.0.1 (by other users' bridges or other programs)"
                  : "cannot listen on 127.0.0.1:" + std::to_string(first + i) + ": " + ec.message();
      return false;
    }
    const unsigned short port = v4.local_endpoint().port();
    ec = Bind(v6, {asio::ip::address_v6::loopback(), port});
    if (ec == asio::error::address_in_use && !last) continue;
    acceptors.push_back(std::move(v4));
    if (!ec) acceptors.push_back(std::move(v6));
    return true;
  }
  return false;
}

// A socket handed over by the service manager, taken only when it listens
// on a loopback address.
bool Adopt(asio::io_context& io, int fd, tcp::acceptor& acceptor, std::string& error) {
  beast::error_code ec;
  tcp::acceptor probe(io);
  probe.assign(tcp::v4(), fd, ec);
  const tcp::endpoint at = ec ? tcp::endpoint() : probe.local_endpoint(ec);
  if (!ec) probe.release(ec);
  if (ec) {
    error = "socket " + std::to_string(fd) + " is not a listening TCP socket: " + ec.message();
    return false;
  }
  if (!at.address().is_loopback()) {
    error = "socket " + std::to_string(fd) + " is bound to " + at.address().to_string() +
            ", not to a loopback address; the bridge listens on 127.0.0.1 and ::1 only";
    return false;
  }
  acceptor.assign(at.protocol(), fd, ec);
  if (ec) error = ec.message();
  return !ec;
}

}  // namespace

void LogToStandardError(const std::string& line) {
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  if (const std::tm* t = std::gmtime(&now)) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", t);
  std::fprintf(stderr, "%s impthermorvane serve: %s\n", stamp, line.c_str());
  std::fflush(stderr);
}

int RunBridgeServer(const ServerOptions& options, ConfigStore& config, const Platform& backends) {
  const auto log = options.log ? options.log : std::function<void(const std::string&)>(LogToStandardError);
  asio::io_context io;
  std::vector<tcp::acceptor> acceptors;
  int port = options.port;
  std::string error;
  if (!options.adoptedSockets.empty()) {
    for (int fd : options.adoptedSockets) {
      acceptors.emplace_back(io);
      if (!Adopt(io, fd, acceptors.back(), error)) {
        log("cannot start: " + error);
        return 1;
      }
      const int at = acceptors.back().local_endpoint().port();
      if (acceptors.size() > 1 && at != port) {
        log("cannot start: the sockets handed over listen on different ports");
        return 1;
      }
      port = at;
    }
  } else {
    if (!ListenOnFirstFree(io, port, options.ports, acceptors, error)) {
      log(error);
      return 1;
    }
    port = acceptors.front().local_endpoint().port();
    if (options.ports > 1)
      log("took port " + std::to_string(port) + ", the first free one from " + std::to_string(options.port) + " to " +
          std::to_string(options.port + options.ports - 1));
  }

  PrintWorker worker(backends);
  asio::thread_pool pool(1);
  bool stopping = false;
  std::function<void()> endWhenDrained;
  std::vector<std::shared_ptr<Listener>> listeners;
  RunQueue queue([&](std::shared_ptr<PrintRunEntry> run) {
    // After the answer that queued it, so that the log reads in order.
    asio::post(io, [&log, run] { log("run " + run->id + " from " + run->origin + ": started"); });
    asio::post(pool, [&, run] {
      auto emit = [&io, run](RunEvent e) {
        asio::post(io, [run, e = std::move(e)]() mutable { run->AddEvent(std::move(e)); });
      };
      if (options.onWorkerRun) options.onWorkerRun(run->stop.get());
      RunOutcomeInfo outcome = worker.Run(run->params, run->rule, run->firstSlot, *run->stop, emit);
      if (options.onWorkerRun) options.onWorkerRun(nullptr);
      asio::post(io, [&, run, outcome = std::move(outcome)]() mutable {
        queue.Finished(run, std::move(outcome));
        if (stopping && !queue.busy()) endWhenDrained();
      });
    });
  });
  queue.onStopRunning = [&] {
    worker.Interrupt();
    if (options.onStop) options.onStop();
  };
  BridgeHandler handler(config, queue, {port, options.script, log});
  PrinterLister::List list = options.printers;
  if (!list) list = [] { return std::vector<PrinterEntry>{}; };
  PrinterLister printers(io, std::move(list), options.printersTimeLimit);
  ServerShared shared{handler, printers, log};
  shared.maxConnections = std::max<std::size_t>(options.maxConnections, 1);
  shared.maxStreams = std::max<std::size_t>(shared.maxConnections / 2, 1);
  shared.idleTimeLimit = options.idleTimeLimit;
  for (auto& a : acceptors) {
    listeners.push_back(std::make_shared<Listener>(std::move(a), shared));
    listeners.back()->Accept();
  }
  shared.connections->freed = [&listeners] {
    for (auto& l : listeners) l->Admit();
  };

  // Once no run is left, the open event streams get their last events
  // (each closes after its outcome) before the loop ends; a reader that does
  // not read is not waited for long.
  asio::steady_timer drain(io);
  Clock::time_point drainLimit{};
  endWhenDrained = [&] {
    const auto now = Clock::now();
    if (drainLimit == Clock::time_point{}) drainLimit = now + kStopDrainLimit;
    if (shared.connections->streams == 0 || now >= drainLimit) return io.stop();
    drain.expires_after(std::chrono::milliseconds(10));
    drain.async_wait([&](beast::error_code) { endWhenDrained(); });
  };
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](beast::error_code ec, int) {
    if (ec) return;
    log("stopping");
    stopping = true;
    for (auto& l : listeners) l->Stop();
    queue.CancelAll();
    if (!queue.busy()) endWhenDrained();
  });

  config.Refresh();
  if (options.onListening) options.onListening(port);
  std::printf("listening on http://127.0.0.1:%d\n", port);
  if (config.originCount() == 0)
    std::printf("no origin is allowed yet: add one with --allow-origin https://your.site or in %s\n",
                config.path().c_str());
  std::fflush(stdout);
  io.run();
  // Sessions left in the stopped loop go with it, after `listeners`.
  shared.connections->freed = nullptr;
  pool.join();
  return 0;
}

}  // namespace imptherm::bridge
