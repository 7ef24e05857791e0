#include "cli/serve_command.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "bridge/config.h"
#include "bridge/script.h"
#include "bridge/server.h"
#include "cli/posix_platform.h"
#include "run/logs.h"

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

}  // namespace

int RunServeCommand(const Options& options) {
  std::vector<bridge::OriginRule> start;
  for (const std::string& text : options.allowOrigins) {
    const auto origin = bridge::CanonicalOrigin(text);
    if (!origin) {
      Complain("--allow-origin wants scheme://host[:port] (http or https), got '" + text + "'");
      return kExitUsage;
    }
    start.push_back(bridge::RuleForOrigin(*origin));
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
  bridge::ConfigStore config(configPath, std::move(start), bridge::LogToStandardError);
  config.Refresh();

  bridge::ServerOptions server;
  server.port = options.servePort >= 0 ? options.servePort : config.file().port;
  server.adoptedSockets = HandedOverSockets();
  server.script = bridge::ClientScript();
  server.printers = [] {
    posix::CupsPrinters printers;
    const std::string byDefault = printers.DefaultPrinter();
    std::vector<bridge::PrinterEntry> list;
    for (const std::string& name : printers.List()) list.push_back({name, !byDefault.empty() && name == byDefault});
    return list;
  };
  return bridge::RunBridgeServer(server, config, backends.platform);
}

}  // namespace imptherm::cli
