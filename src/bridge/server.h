#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "bridge/config.h"
#include "bridge/handler.h"
#include "platform/platform.h"

namespace imptherm::bridge {

// Open connections; at the limit a new one takes the place of the one that
// has gone longest without a whole request, once that one has had
// kReplaceGrace to send it. At most half of them are event streams.
inline constexpr std::size_t kMaxConnections = 32;
// A browser sends its request as soon as it is connected, within a
// millisecond on loopback: 50 ms spare a page's connection on a busy
// machine, yet turn every other connection over twenty times a second, so
// that a page waits at most (connections queued before it / 16) x 50 ms.
inline constexpr std::chrono::milliseconds kReplaceGrace{50};
inline constexpr std::size_t kMaxHeaderSize = 8 * 1024;
// A connection with no byte of a next request is closed after this: a
// browser sends its request as soon as it connects and opens a new
// connection when a kept one has gone, so a few seconds lose nothing, while
// idle connections would hold slots that pages need.
inline constexpr std::chrono::seconds kIdleTimeLimit{5};
// From the start of that wait, the request line and headers must be in
// within this, and the whole request within kRequestTimeLimit.
inline constexpr std::chrono::seconds kHeaderTimeLimit{10};
inline constexpr std::chrono::seconds kRequestTimeLimit{30};
// A printer list the print server has not given within this is answered
// with an error (`print-server`).
inline constexpr std::chrono::seconds kPrintersTimeLimit{10};

struct ServerOptions {
  int port = kDefaultPort;  // 0: a free port the system picks (tests)
  // The first free port of this many from `port` on is taken (kPortRange
  // without --port); 1: `port` or nothing.
  int ports = 1;
  // Listening sockets handed over by the service manager (socket
  // activation); each must be bound to a loopback address. Empty: bind
  // 127.0.0.1 and ::1 on `port`.
  std::vector<int> adoptedSockets;
  std::size_t maxConnections = kMaxConnections;
  std::chrono::milliseconds idleTimeLimit = kIdleTimeLimit;
  std::chrono::milliseconds printersTimeLimit = kPrintersTimeLimit;
  std::string script;                                   // the JavaScript client
  std::function<std::vector<PrinterEntry>()> printers;  // called on a thread of its own
  // The bridge log (one line per refusal and per run); standard error when empty.
  std::function<void(const std::string&)> log;
  // A host whose backends wait in blocking calls uses these to cut such a
  // wait short. onWorkerRun: on the worker's thread, with the run's stop flag
  // before each print run and with nullptr after it. onStop: on the
  // server's thread, whenever the running print run was asked to stop (a
  // page's DELETE, the bridge stopping).
  std::function<void(const std::atomic<bool>* stop)> onWorkerRun;
  std::function<void()> onStop;
  // Called on the server's thread with the port taken, once it listens.
  std::function<void(int port)> onListening;
};

// A line of the bridge log on standard error, with the UTC time.
void LogToStandardError(const std::string& line);

// Listens, answers and runs print runs on `backends` until SIGINT or
// SIGTERM; the waiting runs then end unstarted, the running one is stopped
// and waited for, and every open event stream gets its run's outcome.
// Returns the exit status: 0 after a clean stop, 1 when it could not listen.
int RunBridgeServer(const ServerOptions& options, ConfigStore& config, const Platform& backends);

}  // namespace imptherm::bridge
