#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "bridge/config.h"
#include "bridge/handler.h"
#include "platform/platform.h"

namespace imptherm::bridge {

// Connections beyond this wait in the listen queue until one closes.
inline constexpr std::size_t kMaxConnections = 32;
inline constexpr std::size_t kMaxHeaderSize = 8 * 1024;

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
  std::string script;  // the JavaScript client
  std::function<std::vector<PrinterEntry>()> printers;
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
