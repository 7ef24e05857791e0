#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace imptherm::fakes {

// A fresh folder under the system temp folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // ends in '/'
  std::string Read(const std::string& name) const;
  void Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

// Environment in a map, folders in a real temp folder, a clock that moves
// only when the code sleeps.
class FakeSystem final : public System {
 public:
  std::string tempPath;
  std::map<std::string, std::string> env;
  std::string allUsersFallback = "/fallback/profile";
  std::vector<std::string> createdDirectories;
  std::string timeStamp = "08/12/2026 10:11:12";
  std::uint32_t ticks = 1000;
  std::vector<std::uint32_t> sleeps;

  std::string TempPath() override { return tempPath; }
  char PathSeparator() const override { return '/'; }
  std::optional<std::string> GetEnv(const std::string& name) override;
  void SetEnv(const std::string& name, const std::string& value) override { env[name] = value; }
  std::string AllUsersFallback() override { return allUsersFallback; }
  bool DirectoryExists(const std::string& path) override;
  void CreateDirectories(const std::string& path) override;
  // Real files, opened by the POSIX rules.
  std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, OpenMode mode) override;
  std::string LocalTimeStamp() override { return timeStamp; }
  std::uint32_t TickCount() override { return ticks; }
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    ticks += ms;
  }
};

// Records what a person would have seen; answers questions from a script.
class FakeUi final : public UserInterface {
 public:
  struct Window {
    std::string caption;
    std::vector<std::string> lines;  // the memo as it stands
    std::vector<std::string> added;  // every line ever added
    bool open = true;
  };
  std::vector<Window> windows;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<bool> answers;  // consumed in order; Yes when exhausted
  std::string panelCaption;
  int busyDepth = 0;
  int stopAfter = -1;  // StopRequested answers true once asked more often than this
  int stopChecks = 0;

  std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) override;
  void ShowMessage(const std::string& text, MessageIcon) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text) override;
  void SetBusyCursor(bool busy) override { busyDepth = busy ? 1 : 0; }
  void SetPanelCaption(const std::string& caption) override { panelCaption = caption; }
  bool StopRequested() override { return stopAfter >= 0 && ++stopChecks > stopAfter; }
  Window& last() { return windows.back(); }
};

// A memo on its own, for stages tested without a window.
class FakeMemo final : public Memo {
 public:
  std::vector<std::string> lines;
  void AddLine(const std::string& line) override { lines.push_back(line); }
  void Clear() override { lines.clear(); }
};

// The module's real string table.
class FakeResources final : public Resources {
 public:
  std::optional<std::string> LoadString(int id) override;
};

// Printers in a list; raw documents are kept as the pieces they were
// handed in. Failures are asked for by printer name.
class FakePrinters final : public Printers {
 public:
  struct RawJob {
    std::string printer, title;
    std::vector<std::string> pieces;
    bool ended = false;
    std::string bytes() const;
  };
  std::vector<std::string> names;
  std::string defaultPrinter;
  std::vector<RawJob> rawJobs;
  std::set<std::string> refuseStart, refuseEnd;
  std::set<std::size_t> refusePieces;      // by index within a document
  std::map<std::string, JobInput> inputs;  // Raw when not listed
  std::vector<std::string> List() override { return names; }
  std::string DefaultPrinter() override { return defaultPrinter; }
  std::unique_ptr<RawDocument> StartRawDocument(const std::string& printer, const std::string& title) override;
  JobInput InputOf(const std::string& printer) override {
    const auto it = inputs.find(printer);
    return it == inputs.end() ? JobInput::Raw : it->second;
  }
};

// Serial ports whose modem lines follow a script on the fake clock. Every
// call is noted in `calls`, so tests can check what came before each byte.
class FakeSerialPorts final : public SerialPorts {
 public:
  explicit FakeSerialPorts(FakeSystem& system) : system_(system) {}
  struct LineStep {
    std::uint32_t at;  // clock ticks from which these lines hold
    bool cts, dsr;
  };
  int osKind = 3;
  std::set<std::string> existing{"COM1", "COM2"};
  std::vector<LineStep> lines{{0, true, true}};
  std::deque<bool> writeTaken;           // per write offered; taken when exhausted
  std::deque<bool> transmitFull;         // per error read; not full when exhausted
  std::optional<std::size_t> failAfter;  // the device goes away after this many bytes
  bool failLineRead = false;
  std::function<void()> onEvents;  // runs at every ProcessPendingEvents
  std::uint32_t eventStepMs = 10;

  std::string written;
  std::vector<std::uint32_t> byteTicks;  // the clock when each byte was taken
  std::vector<std::string> calls;        // "open COM1 nt", "lines", "errors", "write", "rts+", "rts-", "close"
  int openPorts = 0;

  int OsKind() override { return osKind; }
  std::unique_ptr<SerialPort> Open(const std::string& portName, bool win9xFamily) override;
  void ProcessPendingEvents() override;
  ModemLines LinesNow() const;
  std::size_t Count(const std::string& call) const;

 private:
  FakeSystem& system_;
};

// Port devices by name; each write takes what the script allows.
class FakePortDevices final : public PortDevices {
 public:
  struct Device {
    std::string data;
    std::deque<PortDevice::WriteResult> script;  // per write: ok, at most `written`, error; all when exhausted
    std::vector<std::size_t> offered;            // the size of every write call
    bool open = false;
  };
  std::map<std::string, Device> devices;
  std::unique_ptr<PortDevice> OpenForWriting(const std::string& name) override;
};

// INI files held in memory, names matched without regard to ASCII letter
// case; `writable` false makes every write fail.
class FakeProfiles final : public ProfileFiles {
 public:
  using Section = std::vector<std::pair<std::string, std::string>>;
  std::map<std::string, std::map<std::string, Section>> files;  // by path, then upper-cased section
  bool writable = true;
  int writes = 0;
  int flushes = 0;

  std::string ReadString(const std::string& path, const std::string& section, const std::string& key) override;
  const Entries& ReadSection(const std::string& path, const std::string& section) override;
  bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Flush(const std::string& path) override;

 private:
  Entries read_;
};

// A scripted server side for the HTTP client. Every request sent on any
// connection takes the next reply in `replies`; the reply's bytes are then
// received in pieces of at most `piece` bytes.
struct FakeReply {
  std::string bytes;
  bool closeAfter = true;   // the server closes once the bytes are read
  bool stallAfter = false;  // then nothing more comes: receiving times out
  bool resetAfter = false;  // then the connection breaks: receiving raises
};
class FakeNetwork final : public Network {
 public:
  std::deque<FakeReply> replies;
  std::vector<std::string> connects;   // "host:port" of every connection made
  std::vector<std::string> requests;   // every request, as sent
  std::vector<int> requestConnection;  // the connection number each came on
  std::vector<int> receiveLimits;      // the time limit of every Receive
  std::size_t piece = 7;
  bool refuse = false;  // Connect raises NetError
  // The server closes its idle kept connections before the next request.
  bool closeIdle = false;

  std::unique_ptr<Connection> Connect(const std::string& host, int port, int limitMs) override;
};

class FakeNtlm final : public Ntlm {
 public:
  bool available = true;
  std::vector<std::optional<NtlmCredentials>> starts;
  std::vector<std::string> challenges;
  bool Available() override { return available; }
  std::unique_ptr<NtlmContext> Start(const std::optional<NtlmCredentials>& credentials) override;
};

// Plays the person at the dialog: each showing records the fields as shown
// and then sets them to the next scripted answer (left as they are when the
// script is exhausted, as when nobody can answer).
class FakeProxyDialog final : public ProxyDialog {
 public:
  std::vector<ProxyDialogFields> shown;
  std::deque<ProxyDialogFields> answers;
  void Show(ProxyDialogFields& fields) override {
    shown.push_back(fields);
    if (answers.empty()) return;
    fields = answers.front();
    answers.pop_front();
  }
};

// Drawn documents that keep every drawing call, page by page.
class FakeDocuments final : public DrawnDocuments {
 public:
  struct Op {
    enum Kind { Text, Line, Rectangle, Fill, Invert, Polygon } kind = Text;
    int page = 1;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::string text;
    std::string face;
    int points = 0;
    bool bold = false;
    Colour colour;  // text, fill, or pen colour
    int penWidth = 0;
    PenStyle penStyle = PenStyle::Solid;
    std::optional<int> clip;
    std::optional<Colour> background;  // text background; rectangle brush
  };
  struct Document {
    std::string printer, title;
    int pages = 1;
    bool ended = false;
    std::vector<Op> ops;
  };
  Resolution resolution{300, 300};
  std::vector<std::string> resolutionAsked;
  std::vector<Document> documents;

  Resolution PrinterResolution(const std::string& printer) override {
    resolutionAsked.push_back(printer);
    return resolution;
  }
  std::unique_ptr<DrawnDocument> StartDocument(const std::string& printer, const std::string& title) override;
};

// Answers the position chooser from a script: a slot, or nothing (abandon).
class FakeChooser final : public PositionChooserDialog {
 public:
  std::vector<std::optional<int>> answers;  // consumed in order; slot 1 when exhausted
  std::vector<ChooserTexts> shown;
  std::vector<int> selectedAtShow;
  std::optional<int> Choose(const ChooserTexts& texts, const SheetPicture&, int selected) override {
    shown.push_back(texts);
    selectedAtShow.push_back(selected);
    if (answers.empty()) return 1;
    std::optional<int> a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

// Real pieces that a test puts in place of some of the fakes.
struct RealPieces {
  System* system = nullptr;
  UserInterface* ui = nullptr;
  Resources* resources = nullptr;
  Printers* printers = nullptr;
  SerialPorts* serialPorts = nullptr;
  PortDevices* portDevices = nullptr;
  ProfileFiles* profiles = nullptr;
  Network* network = nullptr;
  Ntlm* ntlm = nullptr;
  ProxyDialog* proxyDialog = nullptr;
  DrawnDocuments* documents = nullptr;
  PositionChooserDialog* chooser = nullptr;
};

// Everything above, wired into a Platform whose temp folder is a TempDir.
struct FakePlatform {
  FakePlatform();
  TempDir temp;
  FakeSystem system;
  FakeUi ui;
  FakeResources resources;
  FakePrinters printers;
  FakeSerialPorts serialPorts{system};
  FakePortDevices portDevices;
  FakeProfiles profiles;
  FakeNetwork network;
  FakeNtlm ntlm;
  FakeProxyDialog proxyDialog;
  FakeDocuments documents;
  FakeChooser chooser;
  Platform platform = With({});
  // The platform of these fakes, with the pieces given in `real` instead.
  Platform With(const RealPieces& real);
};

}  // namespace imptherm::fakes
