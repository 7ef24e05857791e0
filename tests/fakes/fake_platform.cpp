#include "fakes/fake_platform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "base/text.h"
#include "platform/error.h"
#include "platform/posix/posix_output_file.h"

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

std::unique_ptr<OutputFile> FakeSystem::OpenOutputFile(const std::string& path, OpenMode mode) {
  return posix::OpenOutputFileBesides(path, mode, std::nullopt);
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

const ProfileFiles::Entries& FakeProfiles::ReadSection(const std::string& path, const std::string& section) {
  read_.clear();
  auto file = files.find(path);
  if (file == files.end()) return read_;
  auto sec = file->second.find(UpperAscii(section));
  if (sec != file->second.end()) read_ = sec->second;
  return read_;
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
    if (aborted_) return 0;
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
  void Abort() override { aborted_ = true; }

 private:
  FakeNetwork& net_;
  int number_;
  std::string request_;
  FakeReply reply_{"", false, false};
  std::size_t pos_ = 0;
  bool closed_ = false;
  bool aborted_ = false;
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

class FakeCanvas final : public Canvas {
 public:
  FakeCanvas(FakeDocuments::Document& doc, DrawnDocuments::Resolution r) : doc_(doc), r_(r) {}
  int ResolutionX() const override { return r_.x; }
  int ResolutionY() const override { return r_.y; }
  void SetPen(int width, Colour colour, PenStyle style) override {
    penWidth_ = width;
    penColour_ = colour;
    penStyle_ = style;
  }
  void SetPenWidth(int width) override { penWidth_ = width; }
  void SetBrush(std::optional<Colour> fill) override { brush_ = fill; }
  void SetFont(const std::string& face, int points, bool bold, Colour colour) override {
    face_ = face;
    points_ = points;
    bold_ = bold;
    fontColour_ = colour;
  }
  void DrawText(int x, int y, const std::string& text, std::optional<int> clipRight,
                std::optional<Colour> background) override {
    FakeDocuments::Op op;
    op.page = doc_.pages;
    op.x1 = op.x2 = x;
    op.y1 = op.y2 = y;
    op.text = text;
    op.face = face_;
    op.points = points_;
    op.bold = bold_;
    op.colour = fontColour_;
    op.clip = clipRight;
    op.background = background;
    doc_.ops.push_back(op);
  }
  void DrawLine(int x1, int y1, int x2, int y2) override { Add(FakeDocuments::Op::Line, x1, y1, x2, y2, penColour_); }
  void DrawRectangle(int x1, int y1, int x2, int y2) override {
    Add(FakeDocuments::Op::Rectangle, x1, y1, x2, y2, penColour_).background = brush_;
  }
  void FillRectangle(int x1, int y1, int x2, int y2, Colour colour) override {
    Add(FakeDocuments::Op::Fill, x1, y1, x2, y2, colour);
  }
  void InvertRectangle(int x1, int y1, int x2, int y2) override {
    Add(FakeDocuments::Op::Invert, x1, y1, x2, y2, kBlack);
  }
  void FillPolygon(const std::vector<Point>& corners, Colour colour) override {
    if (corners.empty()) return;
    Add(FakeDocuments::Op::Polygon, corners.front().x, corners.front().y, corners.back().x, corners.back().y, colour);
  }
  void DrawCellText(int x, int y, const std::string& text, int cellWidth, int cellHeight, int quarterTurns,
                    Colour colour) override {
    Add(FakeDocuments::Op::Text, x, y, x + cellWidth, y + cellHeight, colour).text = text;
    doc_.ops.back().points = quarterTurns;
  }

 private:
  FakeDocuments::Op& Add(FakeDocuments::Op::Kind kind, int x1, int y1, int x2, int y2, Colour colour) {
    FakeDocuments::Op op;
    op.kind = kind;
    op.page = doc_.pages;
    op.x1 = x1;
    op.y1 = y1;
    op.x2 = x2;
    op.y2 = y2;
    op.colour = colour;
    op.penWidth = penWidth_;
    op.penStyle = penStyle_;
    doc_.ops.push_back(op);
    return doc_.ops.back();
  }
  FakeDocuments::Document& doc_;
  DrawnDocuments::Resolution r_;
  int penWidth_ = 1;
  Colour penColour_ = kBlack;
  PenStyle penStyle_ = PenStyle::Solid;
  std::optional<Colour> brush_ = kWhite;
  std::string face_;
  int points_ = 0;
  bool bold_ = false;
  Colour fontColour_ = kBlack;
};

class FakeDocument final : public DrawnDocument {
 public:
  FakeDocument(FakeDocuments::Document& doc, DrawnDocuments::Resolution r) : doc_(doc), canvas_(doc, r) {}
  Canvas& page() override { return canvas_; }
  void NewPage() override { ++doc_.pages; }
  void End() override { doc_.ended = true; }

 private:
  FakeDocuments::Document& doc_;
  FakeCanvas canvas_;
};

}  // namespace

std::unique_ptr<Connection> FakeNetwork::Connect(const std::string& host, int port, int) {
  if (refuse) throw NetError("Connexion impossible \xE0 " + host + ":" + std::to_string(port));
  connects.push_back(host + ":" + std::to_string(port));
  return std::make_unique<FakeConnection>(*this, static_cast<int>(connects.size()));
}

std::unique_ptr<NtlmContext> FakeNtlm::Start(const std::optional<NtlmCredentials>& credentials) {
  starts.push_back(credentials);
  return std::make_unique<FakeNtlmContext>(*this);
}

std::unique_ptr<DrawnDocument> FakeDocuments::StartDocument(const std::string& printer, const std::string& title) {
  // Each document keeps its own record; the list must not move under it.
  documents.reserve(64);
  if (documents.size() == documents.capacity()) throw std::runtime_error("too many fake documents");
  Document doc;
  doc.printer = printer;
  doc.title = title;
  documents.push_back(std::move(doc));
  return std::make_unique<FakeDocument>(documents.back(), resolution);
}

Platform FakePlatform::With(const RealPieces& real) {
  return Platform{.system = real.system ? *real.system : system,
                  .ui = real.ui ? *real.ui : ui,
                  .resources = real.resources ? *real.resources : resources,
                  .printers = real.printers ? *real.printers : printers,
                  .serialPorts = real.serialPorts ? *real.serialPorts : serialPorts,
                  .portDevices = real.portDevices ? *real.portDevices : portDevices,
                  .profiles = real.profiles ? *real.profiles : profiles,
                  .network = real.network ? *real.network : network,
                  .ntlm = real.ntlm ? *real.ntlm : ntlm,
                  .proxyDialog = real.proxyDialog ? *real.proxyDialog : proxyDialog,
                  .documents = real.documents ? *real.documents : documents,
                  .chooser = real.chooser ? *real.chooser : chooser};
}

FakePlatform::FakePlatform() {
  system.tempPath = temp.path();
  system.env["ALLUSERSPROFILE"] = temp.path() + "profile";
}

}  // namespace imptherm::fakes

namespace imptherm::fakes {
namespace {

class FakeRawDocument final : public RawDocument {
 public:
  FakeRawDocument(FakePrinters& printers, std::size_t index) : printers_(printers), index_(index) {}
  void Write(const std::string& bytes) override {
    auto& job = printers_.rawJobs[index_];
    const std::size_t n = job.pieces.size();
    job.pieces.push_back(bytes);
    if (printers_.refusePieces.count(n)) throw PlatformError("piece refused");
  }
  std::string End() override {
    auto& job = printers_.rawJobs[index_];
    if (printers_.refuseEnd.count(job.printer)) throw PlatformError("document refused");
    job.ended = true;
    return "";
  }

 private:
  FakePrinters& printers_;
  std::size_t index_;
};

class FakeSerialPort final : public SerialPort {
 public:
  FakeSerialPort(FakeSerialPorts& ports, FakeSystem& system) : ports_(ports), system_(system) { ++ports_.openPorts; }
  ~FakeSerialPort() override {
    --ports_.openPorts;
    ports_.calls.push_back("close");
  }
  ModemLines ReadModemLines() override {
    ports_.calls.push_back("lines");
    if (ports_.failLineRead) throw PlatformError("modem status unreadable");
    return ports_.LinesNow();
  }
  bool ClearErrorsTransmitFull() override {
    ports_.calls.push_back("errors");
    if (ports_.transmitFull.empty()) return false;
    bool full = ports_.transmitFull.front();
    ports_.transmitFull.pop_front();
    return full;
  }
  std::size_t WriteByte(char byte) override {
    ports_.calls.push_back("write");
    if (ports_.failAfter && ports_.written.size() >= *ports_.failAfter) throw PlatformError("device gone");
    bool taken = true;
    if (!ports_.writeTaken.empty()) {
      taken = ports_.writeTaken.front();
      ports_.writeTaken.pop_front();
    }
    // One byte at 9600 baud takes about a millisecond; a refusal, the 2 ms time-out.
    system_.ticks += taken ? 1 : 2;
    if (!taken) return 0;
    ports_.written.push_back(byte);
    ports_.byteTicks.push_back(system_.ticks);
    return 1;
  }
  void SetRts(bool on) override { ports_.calls.push_back(on ? "rts+" : "rts-"); }

 private:
  FakeSerialPorts& ports_;
  FakeSystem& system_;
};

class FakePortDevice final : public PortDevice {
 public:
  explicit FakePortDevice(FakePortDevices::Device& d) : d_(d) { d_.open = true; }
  ~FakePortDevice() override { d_.open = false; }
  WriteResult Write(const char* data, std::size_t size) override {
    d_.offered.push_back(size);
    WriteResult r{true, size, 0};
    if (!d_.script.empty()) {
      r = d_.script.front();
      d_.script.pop_front();
      if (r.ok) r.written = std::min(r.written, size);
    }
    if (r.ok) d_.data.append(data, r.written);
    return r;
  }

 private:
  FakePortDevices::Device& d_;
};

}  // namespace

std::string FakePrinters::RawJob::bytes() const {
  std::string all;
  for (const auto& p : pieces) all += p;
  return all;
}

std::unique_ptr<RawDocument> FakePrinters::StartRawDocument(const std::string& printer, const std::string& title) {
  if (refuseStart.count(printer)) throw PlatformError("cannot start a document on " + printer);
  rawJobs.push_back({printer, title, {}, false});
  return std::make_unique<FakeRawDocument>(*this, rawJobs.size() - 1);
}

std::unique_ptr<SerialPort> FakeSerialPorts::Open(const std::string& portName, bool win9xFamily) {
  calls.push_back("open " + portName + (win9xFamily ? " 9x" : " nt"));
  if (!existing.count(portName)) return nullptr;
  return std::make_unique<FakeSerialPort>(*this, system_);
}

void FakeSerialPorts::ProcessPendingEvents() {
  system_.ticks += eventStepMs;
  if (onEvents) onEvents();
}

ModemLines FakeSerialPorts::LinesNow() const {
  ModemLines now;
  for (const auto& step : lines)
    if (step.at <= system_.ticks) now = {step.cts, step.dsr};
  return now;
}

std::size_t FakeSerialPorts::Count(const std::string& call) const {
  return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

std::unique_ptr<PortDevice> FakePortDevices::OpenForWriting(const std::string& name) {
  auto it = devices.find(name);
  if (it == devices.end()) return nullptr;
  return std::make_unique<FakePortDevice>(it->second);
}

}  // namespace imptherm::fakes
