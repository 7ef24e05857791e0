// impthermorvane.exe: the browser bridge in the user's Windows session. The
// print runs are the control's own, over the same Win32 backends and string
// tables, so the windows and messages a person sees are the control's.
//
//   impthermorvane serve [--port N] [--config FILE] [--allow-origin ORIGIN]... [--batch]
//   impthermorvane stop [--port N]
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/parsed.h"
#include "bridge/config.h"
#include "bridge/script.h"
#include "bridge/server.h"
#include "bridge_win32/tray.h"
#include "common/logs.h"
#include "platform/win32/win32_platform.h"
#include "run/version.h"

namespace imptherm::bridge_win32 {
namespace {

constexpr char kUsage[] =
    "usage: impthermorvane serve [--port N] [--config FILE] [--allow-origin ORIGIN]... [--batch]\n"
    "       impthermorvane stop [--port N]\n";

struct ServeArgs {
  bool serve = false;
  int port = -1;  // -1: the configuration's
  std::string config;
  std::vector<std::string> origins;
  bool batch = false;
};

Parsed<ServeArgs> Parse(const std::vector<std::string>& args) {
  if (args.empty() || (args[0] != "serve" && args[0] != "stop"))
    return ParseError{args.empty() ? "a command is needed" : "unknown command '" + args[0] + "'"};
  ServeArgs out;
  out.serve = args[0] == "serve";
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--batch" && out.serve) {
      out.batch = true;
    } else if (a == "--port" && hasValue) {
      char* end = nullptr;
      const long port = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || port < 1 || port > 65535)
        return ParseError{"--port wants a number from 1 to 65535, got '" + args[i] + "'"};
      out.port = static_cast<int>(port);
    } else if (a == "--config" && hasValue && out.serve) {
      out.config = args[++i];
    } else if (a == "--allow-origin" && hasValue && out.serve) {
      out.origins.push_back(args[++i]);
    } else {
      return ParseError{"unknown option or missing value: '" + a + "'"};
    }
  }
  return out;
}

// A program of the Windows subsystem has no console; started from one, it
// writes to it, and redirected output (tests, services) is used as given.
void UseParentConsole() {
  if (::GetStdHandle(STD_OUTPUT_HANDLE) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  std::freopen("CONOUT$", "w", stdout);
  std::freopen("CONOUT$", "w", stderr);
}

// --batch: nobody is at the screen to close a message box, so messages go to
// the bridge log and questions are answered No; the rest is the control's.
class BatchUi final : public UserInterface {
 public:
  explicit BatchUi(UserInterface& ui) : ui_(ui) {}
  std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) override {
    return ui_.OpenProgressWindow(caption);
  }
  void ShowMessage(const std::string& text, MessageIcon) override { bridge::LogToStandardError("message: " + text); }
  bool AskYesNo(const std::string& text) override {
    bridge::LogToStandardError("question answered No: " + text);
    return false;
  }
  void SetBusyCursor(bool busy) override { ui_.SetBusyCursor(busy); }
  void SetPanelCaption(const std::string& caption) override { ui_.SetPanelCaption(caption); }
  bool StopRequested() override { return ui_.StopRequested(); }

 private:
  UserInterface& ui_;
};

int Serve(const ServeArgs& args) {
  auto start = bridge::RulesForOrigins(args.origins);
  if (!start) {
    std::fprintf(stderr, "impthermorvane: %s\n", start.error().c_str());
    return 1;
  }

  win32::Win32Platform backends(::GetModuleHandleW(nullptr));
  // Started at logon there is no console and no redirection: the bridge log
  // goes to a file of the user's temporary folder instead of nowhere.
  if (!::GetStdHandle(STD_ERROR_HANDLE))
    std::freopen((TempFolder(backends.system) + "impthermorvane-bridge.log").c_str(), "a", stderr);
  BatchUi batchUi(backends.ui);
  Platform& own = backends.platform;
  const Platform platform{.system = own.system,
                          .ui = args.batch ? batchUi : own.ui,
                          .resources = own.resources,
                          .printers = own.printers,
                          .serialPorts = own.serialPorts,
                          .portDevices = own.portDevices,
                          .profiles = own.profiles,
                          .network = own.network,
                          .ntlm = own.ntlm,
                          .proxyDialog = own.proxyDialog,
                          .documents = own.documents,
                          .chooser = own.chooser};

  const std::string configPath =
      !args.config.empty() ? args.config : SharedDataFolderPath(backends.system) + "\\bridge.json";
  // Who may write the file is said by its access control list, not by an
  // owner and mode bits: no quick test tells as POSIX does, so the file is
  // not examined here.
  bridge::ConfigStore config(configPath, std::move(*start), bridge::LogToStandardError);
  config.Refresh();

  bridge::ServerOptions server;
  server.port = args.port >= 0 ? args.port : config.file().port;
  server.ports = args.port >= 0 ? 1 : bridge::kPortRange;
  // The icon's window is named after the port the server takes: 0 when it
  // could not listen.
  std::promise<int> listening;
  std::future<int> taken = listening.get_future();
  server.onListening = [&listening](int port) { listening.set_value(port); };
  server.script = bridge::ClientScript();
  server.printers = [] {
    win32::Win32Printers printers;
    return bridge::ListPrinters(printers);
  };

  // The server has its own thread; this one keeps the notification icon and
  // its window, whose stop command ends the server as Ctrl-C does.
  const DWORD uiThread = ::GetCurrentThreadId();
  MSG queue;  // the thread's message queue exists before the server can post its end
  ::PeekMessageW(&queue, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  int status = 0;
  std::thread serverThread([&] {
    status = bridge::RunBridgeServer(server, config, platform);
    if (status != 0) listening.set_value(0);
    ::PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
  });
  if (const int port = taken.get()) {
    TrayIcon tray(::GetModuleHandleW(nullptr), port, [] { std::raise(SIGTERM); });
    RunMessageLoop();
  }
  serverThread.join();
  return status;
}

}  // namespace
}  // namespace imptherm::bridge_win32

int main(int argc, char** argv) {
  using namespace imptherm::bridge_win32;
  UseParentConsole();
  const auto parsed = Parse(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed) {
    std::fprintf(stderr, "impthermorvane: %s\n%s", parsed.error().c_str(), kUsage);
    return 1;
  }
  const ServeArgs& args = *parsed;
  if (!args.serve) {
    // Without --port, this session's bridge on whichever port it took.
    if (AskBridgeToStop(std::max(args.port, 0))) return 0;
    if (args.port >= 0)
      std::fprintf(stderr, "impthermorvane: no bridge runs on port %d in this session\n", args.port);
    else
      std::fprintf(stderr, "impthermorvane: no bridge runs in this session\n");
    return 1;
  }
  return Serve(args);
}
