#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/output_file.h"
#include "platform/posix/posix_output_file.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/unique_fd.h"

namespace imptherm {
namespace {

std::string Reason(int code) { return std::strerror(code); }

// A file that is appended to again and again (the run log once a line, the
// job file once a job) stays open between two appends, so that a print run
// of many records does not pay an open and a close for each. Before each
// use the name must still lead to the same plain file of ours; a file moved,
// deleted or replaced in between is let go and the name is opened anew, so
// nothing is ever written through a handle to a file taken away. Every
// append goes straight to the system, so a kept file loses nothing when the
// process dies.
class Descriptor {
 public:
  explicit Descriptor(posix::UniqueFd fd) : fd_(std::move(fd)) {}
  int fd() const { return fd_.get(); }
  // Closes now and says whether the system took everything.
  bool Close() { return ::close(fd_.Release()) == 0; }

 private:
  posix::UniqueFd fd_;
};

struct KeptFile {
  std::string path;
  std::shared_ptr<Descriptor> descriptor;
  dev_t dev;
  ino_t ino;
};
constexpr std::size_t kMaxKeptFiles = 4;
std::mutex keptMutex;
std::vector<KeptFile> keptFiles;

bool StillTheSameFile(const KeptFile& kept) {
  struct stat st {};
  return ::lstat(kept.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == kept.dev &&
         st.st_ino == kept.ino && st.st_nlink == 1 && st.st_uid == ::geteuid();
}

// The kept handle of `path` when it may still be used.
std::shared_ptr<Descriptor> TakeKept(const std::string& path) {
  std::lock_guard lock(keptMutex);
  for (auto it = keptFiles.begin(); it != keptFiles.end(); ++it) {
    if (it->path != path) continue;
    if (StillTheSameFile(*it)) return it->descriptor;
    keptFiles.erase(it);
    return nullptr;
  }
  return nullptr;
}

void Keep(const std::string& path, const std::shared_ptr<Descriptor>& descriptor) {
  struct stat st {};
  if (::fstat(descriptor->fd(), &st) != 0) return;
  std::lock_guard lock(keptMutex);
  if (keptFiles.size() >= kMaxKeptFiles) keptFiles.erase(keptFiles.begin());
  keptFiles.push_back({path, descriptor, st.st_dev, st.st_ino});
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(std::shared_ptr<Descriptor> descriptor, std::string path, bool kept)
      : descriptor_(std::move(descriptor)), fd_(descriptor_->fd()), path_(std::move(path)), kept_(kept) {}

  std::uint64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail(errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail(n < 0 ? errno : EIO);
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  void Truncate(std::uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail(errno);
  }

  // A kept handle stays open for the next append.
  void Close() override {
    auto descriptor = std::move(descriptor_);
    if (descriptor && !kept_ && !descriptor->Close()) Fail(errno);
  }

 private:
  [[noreturn]] void Fail(int code) { throw PlatformError("cannot write to " + path_ + ": " + Reason(code)); }
  std::shared_ptr<Descriptor> descriptor_;
  int fd_;
  std::string path_;
  bool kept_;
};

// Why an open file may not be written, or empty when it may. The checks run
// on the open file itself, so nothing can swap the name in between.
std::string Refusal(int fd, std::optional<posix::FileIdentity> notThis) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Reason(errno);
  if (!S_ISREG(st.st_mode)) return "it is not a plain file";
  if (notThis && st.st_dev == notThis->device && st.st_ino == notThis->inode) return "it is the file being read";
  if (st.st_uid != ::geteuid()) return "it belongs to another user";
  // A second name planted in a shared folder would make this program write
  // to whatever file the other name stands for.
  if (st.st_nlink > 1) return "it has other names (hard links)";
  return {};
}

}  // namespace

std::unique_ptr<OutputFile> posix::PosixSystem::OpenOutputFile(const std::string& path, OpenMode mode) {
  return posix::OpenOutputFileBesides(path, mode, std::nullopt);
}

std::unique_ptr<OutputFile> posix::OpenOutputFileBesides(const std::string& path, OpenMode mode,
                                                         std::optional<FileIdentity> notThis) {
  if (mode == OpenMode::Append && !notThis) {
    if (auto kept = TakeKept(path)) return std::make_unique<PosixOutputFile>(std::move(kept), path, true);
  }
  const std::string failed = (mode == OpenMode::Append ? "cannot append to " : "cannot create ") + path + ": ";
  // Non-blocking, so that a planted FIFO cannot hold the open; on the plain
  // files that pass the checks the flag changes nothing.
  const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  // Opened as it is, or made anew; a name that appears between the two
  // attempts is opened as it is on the next round.
  bool created = false;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
    fd = ::open(path.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) break;
    fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
    created = fd >= 0;
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw PlatformError(failed + (errno == ELOOP ? "it is a symbolic link" : Reason(errno)));
  auto descriptor = std::make_shared<Descriptor>(posix::UniqueFd(fd));
  std::string refusal = Refusal(fd, notThis);
  // The mode given to open() passes through the umask; the file is private
  // whatever the umask says.
  if (refusal.empty() && created && ::fchmod(fd, 0600) != 0) refusal = Reason(errno);
  if (refusal.empty() && mode == OpenMode::Empty && ::ftruncate(fd, 0) != 0) refusal = Reason(errno);
  if (!refusal.empty()) throw PlatformError(failed + refusal);
  const bool keep = mode == OpenMode::Append;
  if (keep) Keep(path, descriptor);
  return std::make_unique<PosixOutputFile>(std::move(descriptor), path, keep);
}

void posix::WriteWholeFile(const std::string& path, std::string_view bytes, std::optional<FileIdentity> notThis) {
  std::unique_ptr<OutputFile> file = OpenOutputFileBesides(path, OpenMode::Empty, notThis);
  try {
    file->Write(bytes);
  } catch (const PlatformError&) {
    try {
      file->Truncate(0);
    } catch (const PlatformError&) {
      // The error of the write is the one to tell.
    }
    throw;
  }
  file->Close();
}

}  // namespace imptherm
