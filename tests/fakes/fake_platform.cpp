#include "fakes/fake_platform.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "run/text.h"

namespace imptherm::fakes {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  fs::path p = fs::temp_directory_path() / ("imptherm-test-" + std::to_string(rd()) + std::to_string(rd()));
  fs::create_directories(p);
  path_ = p.string() + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TempDir::Read(const std::string& name) const { return ReadFile(path_ + name); }

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream(path_ + name, std::ios::binary) << bytes;
}

std::optional<std::string> FakeSystem::GetEnv(const std::string& name) {
  auto it = env.find(name);
  if (it == env.end()) return std::nullopt;
  return it->second;
}

bool FakeSystem::DirectoryExists(const std::string& path) { return fs::is_directory(path); }

void FakeSystem::CreateDirectories(const std::string& path) {
  createdDirectories.push_back(path);
  if (path.rfind(tempPath, 0) == 0 && !tempPath.empty()) fs::create_directories(path);
}

namespace {

class FakeProgressWindow final : public ProgressWindow, public Memo {
 public:
  FakeProgressWindow(FakeUi& ui, std::size_t index) : ui_(ui), index_(index) {}
  ~FakeProgressWindow() override { ui_.windows[index_].open = false; }
  Memo& memo() override { return *this; }
  void AddLine(const std::string& line) override {
    ui_.windows[index_].lines.push_back(line);
    ui_.windows[index_].added.push_back(line);
  }
  void Clear() override { ui_.windows[index_].lines.clear(); }

 private:
  FakeUi& ui_;
  std::size_t index_;
};

}  // namespace

std::unique_ptr<ProgressWindow> FakeUi::OpenProgressWindow(const std::string& caption) {
  windows.push_back({caption, {}, {}, true});
  return std::make_unique<FakeProgressWindow>(*this, windows.size() - 1);
}

bool FakeUi::AskYesNo(const std::string& text) {
  questions.push_back(text);
  if (answers.empty()) return true;
  bool a = answers.front();
  answers.erase(answers.begin());
  return a;
}

std::optional<std::string> FakeResources::LoadString(int id) {
  switch (id) {
#define STRING_RESOURCE(id, text) \
  case id:                        \
    return text;
#include "platform/string_table.inc"
#undef STRING_RESOURCE
  }
  return std::nullopt;
}

namespace {

bool SameName(const std::string& a, const std::string& b) { return UpperAscii(a) == UpperAscii(b); }

}  // namespace

std::string FakeProfiles::ReadString(const std::string& path, const std::string& section, const std::string& key) {
  auto file = files.find(path);
  if (file == files.end()) return "";
  auto sec = file->second.find(UpperAscii(section));
  if (sec == file->second.end()) return "";
  for (const auto& [name, value] : sec->second)
    if (SameName(name, key)) return value;
  return "";
}

ProfileFiles::Entries FakeProfiles::ReadSection(const std::string& path, const std::string& section) {
  auto file = files.find(path);
  if (file == files.end()) return {};
  auto sec = file->second.find(UpperAscii(section));
  return sec == file->second.end() ? Entries{} : sec->second;
}

bool FakeProfiles::WriteString(const std::string& path, const std::string& section, const std::string& key,
                               const std::string& value) {
  if (!writable) return false;
  ++writes;
  Section& sec = files[path][UpperAscii(section)];
  for (auto& [name, old] : sec)
    if (SameName(name, key)) {
      old = value;
      return true;
    }
  sec.emplace_back(key, value);
  return true;
}

bool FakeProfiles::Flush(const std::string& path) {
  ++flushes;
  return writable && files.count(path) > 0;
}

FakePlatform::FakePlatform() {
  system.tempPath = temp.path();
  system.env["ALLUSERSPROFILE"] = temp.path() + "profile";
}

}  // namespace imptherm::fakes
