#include "platform/win32/win32_system.h"

#include <windows.h>

#include "platform/error.h"

namespace imptherm::win32 {
namespace {

constexpr DWORD kFolderBuffer = 261;

// A folder the system reports with a trailing backslash, or empty when the
// call fails.
template <typename Call>
std::string SystemFolder(Call call) {
  char buf[kFolderBuffer];
  const UINT n = call(buf, kFolderBuffer);
  if (n == 0 || n >= kFolderBuffer) return {};
  std::string folder(buf, n);
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string LastErrorText(unsigned long code) {
  char* text = nullptr;
  const DWORD n =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = "error " + std::to_string(code);
  if (n && text) {
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    message += ": " + s;
  }
  if (text) ::LocalFree(text);
  return message;
}

// The system may need more than MAX_PATH; ask again with the size it names
// rather than cutting the path.
std::string Win32System::TempPath() {
  std::string buf(MAX_PATH, '\0');
  DWORD n = ::GetTempPathA(static_cast<DWORD>(buf.size()), buf.data());
  if (n > buf.size()) {
    buf.assign(n, '\0');
    n = ::GetTempPathA(static_cast<DWORD>(buf.size()), buf.data());
    if (n >= buf.size()) return {};
  }
  buf.resize(n);
  return buf;
}

// First the size, then the value; asked again if the value grew between.
std::optional<std::string> Win32System::GetEnv(const std::string& name) {
  DWORD size = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string value(size, '\0');
    const DWORD n = ::GetEnvironmentVariableA(name.c_str(), value.data(), size);
    if (n < size) {
      value.resize(n);
      return value;
    }
    size = n;
  }
  return std::nullopt;
}

void Win32System::SetEnv(const std::string& name, const std::string& value) {
  ::SetEnvironmentVariableA(name.c_str(), value.c_str());
}

std::string Win32System::AllUsersFallback() {
  const std::string windows = SystemFolder([](char* b, UINT n) { return ::GetWindowsDirectoryA(b, n); });
  const std::string system =
      windows.empty() ? SystemFolder([](char* b, UINT n) { return ::GetSystemDirectoryA(b, n); }) : std::string();
  return AllUsersFromWindowsFolders(windows, system);
}

bool Win32System::DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates each missing folder from the root down. The drive ("C:") and a
// share ("\\server\share") are never created, only what lies below them.
void Win32System::CreateDirectories(const std::string& path) {
  std::size_t start = 0;
  if (path.size() >= 2 && path[1] == ':') {
    start = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::size_t server = path.find_first_of("\\/", 2);
    start = server == std::string::npos ? path.size() : path.find_first_of("\\/", server + 1);
    if (start == std::string::npos) start = path.size();
  }
  for (std::size_t pos = start + 1; pos <= path.size(); ++pos) {
    if (pos < path.size() && !IsSeparator(path[pos])) continue;
    const std::string part = path.substr(0, pos);
    if (IsSeparator(part.back()) || DirectoryExists(part)) continue;
    if (::CreateDirectoryA(part.c_str(), nullptr)) continue;
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS)
      throw PlatformError("cannot create folder " + part + ": " + LastErrorText(error));
  }
  if (!DirectoryExists(path)) throw PlatformError("cannot create folder " + path);
}

std::string Win32System::LocalTimeStamp() {
  char date[128] = {};
  char time[128] = {};
  const int nd = ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  const int nt = ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  return std::string(date, nd > 0 ? nd - 1 : 0) + " " + std::string(time, nt > 0 ? nt - 1 : 0);
}

std::uint32_t Win32System::TickCount() { return ::GetTickCount(); }

void Win32System::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace imptherm::win32
