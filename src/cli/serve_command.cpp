#include "cli/serve_command.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bridge/config.h"
#include "bridge/script.h"
#include "bridge/server.h"
#include "cli/posix_platform.h"
#include "common/logs.h"
#include "platform/posix/interrupt.h"
#include "platform/posix/posix_system.h"

namespace imptherm::cli {
namespace {

void Complain(const std::string& text) { std::fprintf(stderr, "impthermorvane: %s\n", text.c_str()); }

// systemd's socket activation: LISTEN_PID names this process and
// LISTEN_FDS counts the sockets from descriptor 3 on.
std::vector<int> HandedOverSockets() {
  const char* pid = std::getenv("LISTEN_PID");
  const char* fds = std::getenv("LISTEN_FDS");
  if (!pid || !fds || std::atol(pid) != static_cast<long>(::getpid())) return {};
  std::vector<int> sockets;
  for (long i = 0, n = std::atol(fds); i < n && i < 16; ++i) sockets.push_back(3 + static_cast<int>(i));
  // They are ours now; a child must not take them for its own.
  ::unsetenv("LISTEN_PID");
  ::unsetenv("LISTEN_FDS");
  ::unsetenv("LISTEN_FDNAMES");
  return sockets;
}

// The worker's thread, signalled when its run is asked to stop (a page's
// DELETE, the bridge stopping) so that a wait for the network or a device
// returns at once (EINTR) and sees the run's stop flag.
pthread_t g_worker;
std::atomic<bool> g_hasWorker{false};

void WakeWorker(int) {}

void PrepareWorkerWake() {
  struct sigaction sa {};
  sa.sa_handler = WakeWorker;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART
  sigaction(SIGUSR1, &sa, nullptr);
}

}  // namespace

int RunServeCommand(const Options& options) {
  auto start = bridge::RulesForOrigins(options.allowOrigins);
  if (!start) {
    Complain(start.error());
    return kExitUsage;
  }

  // The print runs' progress windows are seen by the pages, not printed;
  // the bridge log has standard error.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> quiet(std::fopen("/dev/null", "w"), std::fclose);
  PosixPlatform::Settings settings;
  settings.interactive = false;
  if (quiet) settings.out = quiet.get();
  PosixPlatform backends(settings);

  const std::string configPath =
      !options.serveConfig.empty() ? options.serveConfig : SharedDataFolderPath(backends.system) + "/bridge.json";
  bridge::ConfigStore config(configPath, std::move(*start), bridge::LogToStandardError, posix::WhyOthersMayChange);
  config.Refresh();

  bridge::ServerOptions server;
  server.port = options.servePort >= 0 ? options.servePort : config.file().port;
  server.ports = options.servePort >= 0 ? 1 : bridge::kPortRange;
  server.adoptedSockets = HandedOverSockets();
  server.script = bridge::ClientScript();
  server.printers = [] {
    posix::CupsPrinters printers;
    return bridge::ListPrinters(printers);
  };
  PrepareWorkerWake();
  server.onWorkerRun = [](const std::atomic<bool>* stop) {
    g_worker = ::pthread_self();
    g_hasWorker = true;
    posix::WatchThreadStopFlag(stop);
  };
  // A stop ends a print run as Ctrl-C does for `print`: between two records,
  // or in a wait.
  server.onStop = [] {
    if (g_hasWorker) ::pthread_kill(g_worker, SIGUSR1);
  };
  return bridge::RunBridgeServer(server, config, backends.platform);
}

}  // namespace imptherm::cli
