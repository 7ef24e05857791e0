#include "fakes/fake_platform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

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

class FakeConnection final : public Connection {
 public:
  FakeConnection(FakeNetwork& net, int number) : net_(net), number_(number) {}
  void Send(std::string_view bytes) override {
    if (closed_) throw NetError("connection closed");
    request_.append(bytes);
    if (request_.size() < 4 || request_.compare(request_.size() - 4, 4, "\r\n\r\n") != 0) return;
    net_.requests.push_back(request_);
    net_.requestConnection.push_back(number_);
    request_.clear();
    if (net_.replies.empty()) {
      reply_ = FakeReply{"", true, false};
    } else {
      reply_ = net_.replies.front();
      net_.replies.pop_front();
    }
    pos_ = 0;
  }
  std::ptrdiff_t Receive(char* buffer, std::size_t size, int limitMs) override {
    net_.receiveLimits.push_back(limitMs);
    if (pos_ < reply_.bytes.size()) {
      std::size_t n = std::min({size, net_.piece, reply_.bytes.size() - pos_});
      std::copy_n(reply_.bytes.data() + pos_, n, buffer);
      pos_ += n;
      return static_cast<std::ptrdiff_t>(n);
    }
    if (reply_.resetAfter) throw NetError("connection reset by peer");
    if (reply_.stallAfter && limitMs != kNoLimit) return kTimedOut;
    if (reply_.closeAfter || reply_.stallAfter) closed_ = true;
    // A kept connection with nothing more to say: a real wait would never end.
    return closed_ ? 0 : (limitMs != kNoLimit ? kTimedOut : 0);
  }
  bool IsOpen() override {
    if (net_.closeIdle) closed_ = true;
    return !closed_ && !(reply_.closeAfter && pos_ >= reply_.bytes.size());
  }
  void Close() override { closed_ = true; }

 private:
  FakeNetwork& net_;
  int number_;
  std::string request_;
  FakeReply reply_{"", false, false};
  std::size_t pos_ = 0;
  bool closed_ = false;
};

class FakeNtlmContext final : public NtlmContext {
 public:
  explicit FakeNtlmContext(FakeNtlm& ntlm) : ntlm_(ntlm) {}
  std::string Negotiate() override { return "NEGOTIATE"; }
  std::string Authenticate(std::string_view challenge) override {
    ntlm_.challenges.emplace_back(challenge);
    return "ANSWER:" + std::string(challenge);
  }

 private:
  FakeNtlm& ntlm_;
};

}  // namespace

std::unique_ptr<Connection> FakeNetwork::Connect(const std::string& host, int port) {
  if (refuse) throw NetError("Connexion impossible \xE0 " + host + ":" + std::to_string(port));
  connects.push_back(host + ":" + std::to_string(port));
  return std::make_unique<FakeConnection>(*this, static_cast<int>(connects.size()));
}

std::unique_ptr<NtlmContext> FakeNtlm::Start(const std::optional<NtlmCredentials>& credentials) {
  starts.push_back(credentials);
  return std::make_unique<FakeNtlmContext>(*this);
}

FakePlatform::FakePlatform() {
  system.tempPath = temp.path();
  system.env["ALLUSERSPROFILE"] = temp.path() + "profile";
}

}  // namespace imptherm::fakes
