#include "bridge/worker.h"

#include <algorithm>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "base/cp1252.h"
#include "base/scope_exit.h"
#include "base/text.h"
#include "bridge/run_stop.h"
#include "common/logs.h"
#include "platform/error.h"
#include "run/core_stages.h"
#include "run/module.h"
#include "run/print_run.h"

namespace imptherm::bridge {
namespace {

std::string TextEvent(const std::string& cp1252) {
  return nlohmann::json{{"text", Cp1252ToUtf8(cp1252)}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Each folder of this user's that a run's texts may name, and what the page
// reads instead: a file in one by its name alone. The folders name the user
// (C:\Users\NAME\AppData\Local\Temp, ~/.cache), which is none of a page's
// business. Longest first, so that a folder inside another goes whole.
using LocalFolders = std::vector<std::pair<std::string, std::string>>;

LocalFolders LocalFoldersOf(System& system) {
  const char sep = system.PathSeparator();
  LocalFolders out;
  auto add = [&](const std::function<std::string()>& folderOf, const char* neutral) {
    std::string folder;
    try {
      folder = folderOf();
    } catch (const PlatformError&) {
      return;  // a folder the system cannot give, the run cannot name either
    }
    while (!folder.empty() && folder.back() == sep) folder.pop_back();
    if (folder.empty()) return;
    out.emplace_back(folder + sep, "");
    out.emplace_back(folder, neutral);
  };
  add([&] { return system.TempPath(); }, "the temporary folder");
  add([&] { return SharedDataFolderPath(system); }, "the shared data folder");
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  return out;
}

std::string WithoutLocalFolders(std::string text, const LocalFolders& folders) {
  for (const auto& [folder, neutral] : folders)
    for (std::size_t at = 0; (at = text.find(folder, at)) != std::string::npos; at += neutral.size())
      text.replace(at, folder.size(), neutral);
  return text;
}

// The current run's events and stop flag, set for the length of a run.
struct RunBinding {
  const std::atomic<bool>* stop = nullptr;
  const PrintWorker::Emit* emit = nullptr;
  int firstSlot = 0;
  const OriginRule* rule = nullptr;
  LocalFolders folders;
  void Send(const char* name, const std::string& text) const {
    if (emit) (*emit)({name, TextEvent(WithoutLocalFolders(text, folders))});
  }
};

class EchoMemo final : public Memo {
 public:
  EchoMemo(Memo& inner, const RunBinding& run) : inner_(inner), run_(run) {}
  void AddLine(const std::string& line) override {
    inner_.AddLine(line);
    run_.Send("line", line);
  }
  void Clear() override { inner_.Clear(); }

 private:
  Memo& inner_;
  const RunBinding& run_;
};

class EchoWindow final : public ProgressWindow {
 public:
  EchoWindow(std::unique_ptr<ProgressWindow> inner, const RunBinding& run)
      : inner_(std::move(inner)), memo_(inner_->memo(), run) {}
  Memo& memo() override { return memo_; }

 private:
  std::unique_ptr<ProgressWindow> inner_;
  EchoMemo memo_;
};

// The backend's user interface, with the progress window seen by the page
// and a stop asked by the page or the bridge.
class EchoUi final : public UserInterface {
 public:
  EchoUi(UserInterface& inner, const RunBinding& run) : inner_(inner), run_(run) {}
  std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) override {
    auto window = std::make_unique<EchoWindow>(inner_.OpenProgressWindow(caption), run_);
    run_.Send("caption", caption);
    return window;
  }
  void ShowMessage(const std::string& text, MessageIcon icon) override { inner_.ShowMessage(text, icon); }
  bool AskYesNo(const std::string& text) override { return inner_.AskYesNo(text); }
  void SetBusyCursor(bool busy) override { inner_.SetBusyCursor(busy); }
  void SetPanelCaption(const std::string& caption) override { inner_.SetPanelCaption(caption); }
  bool StopRequested() override { return (run_.stop && run_.stop->load()) || inner_.StopRequested(); }

 private:
  UserInterface& inner_;
  const RunBinding& run_;
};

// The page's first slot, when it gave one, answers the chooser.
class SlotChooser final : public PositionChooserDialog {
 public:
  SlotChooser(PositionChooserDialog& inner, const RunBinding& run) : inner_(inner), run_(run) {}
  std::optional<int> Choose(const ChooserTexts& texts, const SheetPicture& picture, int selected) override {
    if (run_.firstSlot >= 1 && run_.firstSlot <= 4) return run_.firstSlot;
    return inner_.Choose(texts, picture, selected);
  }

 private:
  PositionChooserDialog& inner_;
  const RunBinding& run_;
};

// Every connection of a run, the first and those a redirect or the proxy
// leads to, goes to a host the page's origin may name.
class GuardedNetwork final : public Network {
 public:
  GuardedNetwork(Network& inner, const RunBinding& run) : inner_(inner), run_(run) {}
  std::unique_ptr<Connection> Connect(const std::string& host, int port, int limitMs) override {
    if (run_.rule && !ConnectionAllowed(*run_.rule, host, port))
      throw NetError(host + ":" + std::to_string(port) + " is not a host allowed for " + run_.rule->origin);
    return inner_.Connect(host, port, limitMs);
  }

 private:
  Network& inner_;
  const RunBinding& run_;
};

class EchoLog final : public RunLog::Echo {
 public:
  explicit EchoLog(const RunBinding& run) : run_(run) {}
  // Secret lines arrive masked by the run log itself.
  void Line(const std::string& text) override { run_.Send("log", VisibleControls(text)); }

 private:
  const RunBinding& run_;
};

// Parameters of one request; names match without regard to case, the last
// one given wins, as in the control's property bag.
class RequestParameters final : public ParameterSource {
 public:
  explicit RequestParameters(const PageParameters& values) : values_(values) {}
  std::optional<std::string> Read(const std::string& name) override {
    const std::string wanted = UpperAscii(name);
    for (auto it = values_.rbegin(); it != values_.rend(); ++it)
      if (UpperAscii(it->first) == wanted) return it->second;
    return std::nullopt;
  }

 private:
  const PageParameters& values_;
};

}  // namespace

struct PrintWorker::Impl {
  explicit Impl(const Platform& b)
      : ui(b.ui, run),
        chooser(b.chooser, run),
        echo(run),
        stoppable(b.network, stopAsked),
        network(stoppable, run),
        serialPorts(b.serialPorts, stopAsked),
        portDevices(b.portDevices, stopAsked),
        platform{b.system,   ui,      b.resources, b.printers,    serialPorts, portDevices,
                 b.profiles, network, b.ntlm,      b.proxyDialog, b.documents, chooser} {}
  // Each origin has a module of its own, as each site would have its own
  // control: the cookies a data server set, the kept connection and the
  // proxy credentials of one origin's runs never reach another's.
  Module& ModuleOf(const std::string& origin) {
    std::unique_ptr<Module>& module = modules[origin];
    if (!module) {
      module = std::make_unique<Module>(platform);
      module->stages = MakeCoreStages(*module);
      module->runLog.SetEcho(&echo);
    }
    return *module;
  }
  RunBinding run;
  StopAsked stopAsked = [this] { return run.stop && run.stop->load(); };
  EchoUi ui;
  SlotChooser chooser;
  EchoLog echo;
  StoppableNetwork stoppable;
  GuardedNetwork network;
  StoppableSerialPorts serialPorts;
  StoppablePortDevices portDevices;
  Platform platform;
  std::map<std::string, std::unique_ptr<Module>> modules;
};

PrintWorker::PrintWorker(const Platform& backends) : impl_(std::make_unique<Impl>(backends)) {}
PrintWorker::~PrintWorker() = default;

void PrintWorker::Interrupt() { impl_->stoppable.Interrupt(); }

RunOutcomeInfo PrintWorker::Run(const PageParameters& params, const OriginRule& rule, int firstSlot,
                                const std::atomic<bool>& stop, const Emit& emit) {
  impl_->run = {&stop, &emit, firstSlot, &rule, LocalFoldersOf(impl_->platform.system)};
  ScopeExit unbind([this] { impl_->run = {}; });
  RequestParameters source(params);
  const RunResult result = PrintRun(impl_->ModuleOf(rule.origin)).Load(source);
  RunOutcomeInfo outcome;
  outcome.status = OutcomeStatus(result.outcome);
  outcome.message = Cp1252ToUtf8(WithoutLocalFolders(OutcomeMessage(result), impl_->run.folders));
  outcome.labels = result.labels;
  outcome.failedRecord = result.failedRecord;
  return outcome;
}

}  // namespace imptherm::bridge
