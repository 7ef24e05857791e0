#include "fakes/fake_platform.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

FakePlatform::FakePlatform() {
  system.tempPath = temp.path();
  system.env["ALLUSERSPROFILE"] = temp.path() + "profile";
}

}  // namespace imptherm::fakes
