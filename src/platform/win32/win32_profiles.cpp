#include "platform/win32/win32_profiles.h"

#include <windows.h>

#include <cstdint>

#include "base/text.h"
#include "platform/error.h"

namespace imptherm::win32 {
namespace {

// Calls a profile reader with a growing buffer until the answer fits. The
// readers cut a too long answer and then return the size less `margin`
// (one for a value, two for a section's double-terminated list).
template <typename Read>
std::string ReadWhole(Read read, DWORD margin) {
  std::string buffer;
  for (DWORD size = 4096; size <= Win32Profiles::kMaxRead; size *= 2) {
    buffer.assign(size, '\0');
    const DWORD n = read(buffer.data(), size);
    if (n < size - margin) {
      buffer.resize(n);
      return buffer;
    }
  }
  return {};
}

// The profile functions would read any size; the limit is the same on both
// backends, with a message that says what is wrong with the file.
void CheckSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return;
  const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size > ProfileFiles::kMaxFileSize) throw PlatformError(ProfileFiles::FileTooLarge(path));
}

}  // namespace

std::string Win32Profiles::ReadString(const std::string& path, const std::string& section, const std::string& key) {
  CheckSize(path);
  return ReadWhole(
      [&](char* out, DWORD size) {
        return ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", out, size, path.c_str());
      },
      1);
}

const ProfileFiles::Entries& Win32Profiles::ReadSection(const std::string& path, const std::string& section) {
  CheckSize(path);
  const std::string list = ReadWhole(
      [&](char* out, DWORD size) { return ::GetPrivateProfileSectionA(section.c_str(), out, size, path.c_str()); }, 2);
  Entries& entries = read_;
  entries.clear();
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find('\0', start);
    if (end == std::string::npos) end = list.size();
    const std::string line = list.substr(start, end - start);
    start = end + 1;
    // The section comes line by line as written, comments included; only
    // the lines that set a key are entries.
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = TrimBlanks(line.substr(0, equals));
    if (key.empty() || key[0] == ';') continue;
    entries.emplace_back(std::move(key), TrimBlanks(line.substr(equals + 1)));
  }
  return entries;
}

bool Win32Profiles::WriteString(const std::string& path, const std::string& section, const std::string& key,
                                const std::string& value) {
  CheckSize(path);
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != FALSE;
}

bool Win32Profiles::Flush(const std::string& path) {
  // Asks the system to write out what it keeps of the file. What that call
  // returns differs between Windows versions and Wine, so the answer is
  // whether the file is now on disk as a plain file.
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace imptherm::win32
