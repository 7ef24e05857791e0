#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/output_file.h"

namespace imptherm {
namespace {

std::string Reason(int code) { return std::strerror(code); }

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

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

  void Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) Fail(errno);
  }

 private:
  [[noreturn]] void Fail(int code) { throw PlatformError("cannot write to " + path_ + ": " + Reason(code)); }
  int fd_;
  std::string path_;
};

// Why an open file may not be written, or empty when it may. The checks run
// on the open file itself, so nothing can swap the name in between.
std::string Refusal(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Reason(errno);
  if (!S_ISREG(st.st_mode)) return "it is not a plain file";
  if (st.st_uid != ::geteuid()) return "it belongs to another user";
  // A second name planted in a shared folder would make this program write
  // to whatever file the other name stands for.
  if (st.st_nlink > 1) return "it has other names (hard links)";
  return {};
}

}  // namespace

std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, OpenMode mode) {
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
  auto file = std::make_unique<PosixOutputFile>(fd, path);
  std::string refusal = Refusal(fd);
  // The mode given to open() passes through the umask; the file is private
  // whatever the umask says.
  if (refusal.empty() && created && ::fchmod(fd, 0600) != 0) refusal = Reason(errno);
  if (refusal.empty() && mode == OpenMode::Empty && ::ftruncate(fd, 0) != 0) refusal = Reason(errno);
  if (!refusal.empty()) throw PlatformError(failed + refusal);
  return file;
}

}  // namespace imptherm
