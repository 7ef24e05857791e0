#include "platform/posix/simpleini_profiles.h"

#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace imptherm::posix {
namespace {

// What tells one state of a file on disk from another.
struct Signature {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};
  bool operator==(const Signature& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

// File times move in steps of the kernel's coarse clock, so a file changed
// again within one step after it was read looks unchanged when its size stays
// the same. A file read that soon after its last change is parsed again on
// the next read.
constexpr long long kSettleNanoseconds = 50'000'000;

long long Nanoseconds(const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; }

bool Settled(const Signature& sig) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long changed = std::max(Nanoseconds(sig.mtime), Nanoseconds(sig.ctime));
  return Nanoseconds(now) - changed > kSettleNanoseconds;
}

enum class Found { Missing, Present, Unusable };

Found Stat(const std::string& path, Signature& sig, mode_t* mode = nullptr) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? Found::Missing : Found::Unusable;
  if (!S_ISREG(st.st_mode) || static_cast<std::uintmax_t>(st.st_size) > SimpleIniProfiles::kMaxFileSize)
    return Found::Unusable;
  sig = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  if (mode) *mode = st.st_mode & 07777;
  return Found::Present;
}

void Configure(CSimpleIniA& ini) {
  ini.SetUnicode(false);
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  ini.SetSpaces(false);
}

// Parses the file; false when it cannot be read whole.
bool Load(const std::string& path, CSimpleIniA& ini) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad() || text.str().size() > SimpleIniProfiles::kMaxFileSize) return false;
  return ini.LoadData(text.str()) >= 0;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

struct SimpleIniProfiles::Cache {
  std::string path;
  Signature sig;
  CSimpleIniA ini;
  bool valid = false;
  bool settled = false;
  // The section last read from this parse of the file: a printer's section
  // is read for every job.
  std::string section;
  Entries entries;
  bool sectionValid = false;
};

SimpleIniProfiles::SimpleIniProfiles() : cache_(std::make_unique<Cache>()) {}
SimpleIniProfiles::~SimpleIniProfiles() = default;

namespace {

// The parsed file, brought up to date with what is on disk; null when the
// file is missing or cannot be read.
const CSimpleIniA* Current(SimpleIniProfiles::Cache& cache, const std::string& path) {
  Signature sig;
  if (Stat(path, sig) != Found::Present) {
    cache.valid = false;
    return nullptr;
  }
  if (!cache.valid || !cache.settled || cache.path != path || !(cache.sig == sig)) {
    cache.valid = false;
    cache.sectionValid = false;
    cache.ini.Reset();
    Configure(cache.ini);
    if (!Load(path, cache.ini)) return nullptr;
    cache.path = path;
    cache.sig = sig;
    cache.valid = true;
    cache.settled = Settled(sig);
  }
  return &cache.ini;
}

}  // namespace

std::string SimpleIniProfiles::ReadString(const std::string& path, const std::string& section, const std::string& key) {
  const CSimpleIniA* ini = Current(*cache_, path);
  return ini ? ini->GetValue(section.c_str(), key.c_str(), "") : "";
}

ProfileFiles::Entries SimpleIniProfiles::ReadSection(const std::string& path, const std::string& section) {
  Entries entries;
  const CSimpleIniA* ini = Current(*cache_, path);
  if (!ini) return entries;
  if (cache_->sectionValid && cache_->section == section) return cache_->entries;
  CSimpleIniA::TNamesDepend keys;
  if (ini->GetAllKeys(section.c_str(), keys)) {
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : keys) entries.emplace_back(key.pItem, ini->GetValue(section.c_str(), key.pItem, ""));
  }
  cache_->section = section;
  cache_->entries = entries;
  cache_->sectionValid = true;
  return entries;
}

bool SimpleIniProfiles::WriteString(const std::string& path, const std::string& section, const std::string& key,
                                    const std::string& value) {
  cache_->valid = false;
  cache_->sectionValid = false;
  CSimpleIniA ini;
  Configure(ini);
  Signature sig;
  mode_t mode = 0644;
  switch (Stat(path, sig, &mode)) {
    case Found::Missing: break;
    case Found::Unusable: return false;
    case Found::Present:
      if (!Load(path, ini)) return false;
      break;
  }
  if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) return false;
  std::string text;
  if (ini.Save(text) < 0) return false;

  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text);
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool SimpleIniProfiles::Flush(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace imptherm::posix
