#include "platform/posix/posix_system.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/error.h"

namespace imptherm::posix {

PosixSystem::PosixSystem() {
  // Time stamps follow the user's regional settings, as on Windows.
  std::setlocale(LC_TIME, "");
}

namespace {

// Creates the folder and its missing parents, 0700 less the umask.
void MakeFolders(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos < path.size() && path[pos] != '/') continue;
    const std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      throw PlatformError("cannot create folder " + part + ": " + std::strerror(errno));
  }
}

bool OwnedByUser(const struct stat& st) { return st.st_uid == ::geteuid(); }

// A folder of this user's alone: created 0700 (with its missing parents),
// and refused when the name is a symbolic link or another user's folder.
void EnsurePrivateFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) MakeFolders(path);
    if (::lstat(path.c_str(), &st) != 0) throw PlatformError("cannot use folder " + path + ": " + std::strerror(errno));
  }
  if (S_ISLNK(st.st_mode)) throw PlatformError("cannot use folder " + path + ": it is a symbolic link");
  if (!S_ISDIR(st.st_mode)) throw PlatformError("cannot use folder " + path + ": it is not a folder");
  if (!OwnedByUser(st)) throw PlatformError("cannot use folder " + path + ": it belongs to another user");
  // mkdir's mode passed through the umask.
  if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
    throw PlatformError("cannot make folder " + path + " private: " + std::strerror(errno));
}

bool OwnFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && OwnedByUser(st);
}

}  // namespace

std::string WhyOthersMayChange(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::string("cannot be examined: ") + std::strerror(errno);
  if (!OwnedByUser(st)) return "it belongs to another user";
  // A sticky bit does not help: others may still add names to the folder.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "other users can write it";
  return "";
}

// TMPDIR when the user names one. Otherwise not the shared /tmp, where
// other users could read the logs or plant names in advance, but a folder
// of this user's: in the session's runtime folder, else in the cache folder.
std::string PosixSystem::TempPath() {
  if (auto tmp = GetEnv("TMPDIR"); tmp && !tmp->empty()) return *tmp;
  std::string base;
  if (auto run = GetEnv("XDG_RUNTIME_DIR"); run && !run->empty() && OwnFolder(*run)) {
    base = *run;
  } else if (auto cache = GetEnv("XDG_CACHE_HOME"); cache && !cache->empty() && cache->front() == '/') {
    base = *cache;
  } else {
    std::string home = GetEnv("HOME").value_or("");
    if (home.empty())
      if (const passwd* pw = ::getpwuid(::geteuid())) home = pw->pw_dir ? pw->pw_dir : "";
    if (home.empty()) throw PlatformError("no private temporary folder: neither TMPDIR nor HOME is set");
    base = home + "/.cache";
  }
  const std::string folder = base + "/impthermorvane";
  EnsurePrivateFolder(folder);
  return folder;
}

std::optional<std::string> PosixSystem::GetEnv(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  if (!v) return std::nullopt;
  return std::string(v);
}

void PosixSystem::SetEnv(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

// Where a Linux user keeps data shared by the programs of one account:
// $XDG_DATA_HOME, or ~/.local/share.
std::string PosixSystem::AllUsersFallback() {
  if (auto xdg = GetEnv("XDG_DATA_HOME"); xdg && !xdg->empty()) return *xdg;
  if (auto home = GetEnv("HOME"); home && !home->empty()) return *home + "/.local/share";
  return TempPath();
}

bool PosixSystem::DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void PosixSystem::CreateDirectories(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos < path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      throw PlatformError("cannot create folder " + part + ": " + std::strerror(errno));
  }
  if (!DirectoryExists(path)) throw PlatformError("cannot create folder " + path);
}

std::string PosixSystem::LocalTimeStamp() {
  // Every record writes a log line: the text is made once a second.
  std::time_t now = std::time(nullptr);
  if (now == stampTime_ && !stamp_.empty()) return stamp_;
  std::tm local{};
  ::localtime_r(&now, &local);
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, "%x %X", &local);
  stampTime_ = now;
  stamp_.assign(buf, n);
  return stamp_;
}

std::uint32_t PosixSystem::TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

void PosixSystem::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace imptherm::posix
