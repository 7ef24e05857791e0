#pragma once
#include <map>
#include <memory>
#include <optional>
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

  std::unique_ptr<ProgressWindow> OpenProgressWindow(const std::string& caption) override;
  void ShowMessage(const std::string& text, MessageIcon) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text) override;
  void SetBusyCursor(bool busy) override { busyDepth = busy ? 1 : 0; }
  void SetPanelCaption(const std::string& caption) override { panelCaption = caption; }
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

class FakePrinters final : public Printers {
 public:
  std::vector<std::string> names;
  std::string defaultPrinter;
  std::vector<std::string> List() override { return names; }
  std::string DefaultPrinter() override { return defaultPrinter; }
};

// Drawn documents that keep every drawing call, page by page.
class FakeDocuments final : public DrawnDocuments {
 public:
  struct Op {
    enum Kind { Text, Line, Rectangle, Fill } kind = Text;
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
  std::optional<int> Choose(const ChooserTexts& texts, int selected) override {
    shown.push_back(texts);
    selectedAtShow.push_back(selected);
    if (answers.empty()) return 1;
    std::optional<int> a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

// Everything above, wired into a Platform whose temp folder is a TempDir.
struct FakePlatform {
  FakePlatform();
  TempDir temp;
  FakeSystem system;
  FakeUi ui;
  FakeResources resources;
  FakePrinters printers;
  FakeDocuments documents;
  FakeChooser chooser;
  Platform platform{system, ui, resources, printers, documents, chooser};
};

}  // namespace imptherm::fakes
