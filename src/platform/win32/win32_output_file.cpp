#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/error.h"
#include "platform/output_file.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_system.h"

namespace imptherm {
namespace {

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(win32::UniqueHandle h, std::string path) : h_(std::move(h)), path_(std::move(path)) {}

  std::uint64_t Size() override {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h_.get(), &size)) Fail();
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  // At the end whoever else wrote meanwhile, as a file opened for appending.
  void Write(std::string_view bytes) override {
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(h_.get(), zero, nullptr, FILE_END)) Fail();
    // One call takes at most a DWORD's worth: a longer run goes in parts.
    while (!bytes.empty()) {
      const auto part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
      DWORD n = 0;
      if (!::WriteFile(h_.get(), bytes.data(), part, &n, nullptr) || n == 0) Fail();
      bytes.remove_prefix(n);
    }
  }

  void Truncate(std::uint64_t size) override {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(h_.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(h_.get())) Fail();
  }

  void Close() override {
    // Closed by hand, so that a close that fails is told.
    const HANDLE h = h_.Release();
    if (h != INVALID_HANDLE_VALUE && !::CloseHandle(h)) Fail();
  }

 private:
  [[noreturn]] void Fail() {
    throw PlatformError("cannot write to " + path_ + ": " + win32::LastErrorText(::GetLastError()));
  }
  win32::UniqueHandle h_;
  std::string path_;
};

}  // namespace

// Shared for reading and writing, as the C runtime opens files, so that an
// editor showing a log does not make the next line fail.
std::unique_ptr<OutputFile> win32::Win32System::OpenOutputFile(const std::string& path, OpenMode mode) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           mode == OpenMode::Append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw PlatformError((mode == OpenMode::Append ? "cannot append to " : "cannot create ") + path + ": " +
                        win32::LastErrorText(::GetLastError()));
  return std::make_unique<Win32OutputFile>(UniqueHandle(h), path);
}

}  // namespace imptherm
