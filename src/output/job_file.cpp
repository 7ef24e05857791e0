#include "output/job_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/error.h"

namespace imptherm {
namespace {

std::string Reason() { return errno != 0 ? std::strerror(errno) : "the write failed"; }

}  // namespace

JobFileChannel::~JobFileChannel() {
  if (file_) CutBack();
}

void JobFileChannel::Write(std::string_view piece) {
  if (piece.empty()) return;
  if (!file_) {
    errno = 0;
    file_ = std::fopen(path_.c_str(), "ab");
    if (!file_) throw PlatformError("cannot append " + jobName_ + " to " + path_ + ": " + Reason());
    // Pieces are already as large as the job builder makes them: they go
    // to the system as they are.
    std::setvbuf(file_, nullptr, _IONBF, 0);
  }
  errno = 0;
  const std::size_t n = std::fwrite(piece.data(), 1, piece.size(), file_);
  written_ += n;
  if (n != piece.size()) Fail(Reason());
}

std::string JobFileChannel::Finish() {
  if (!file_) return "";
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) {
    const std::string why = Reason();
    throw PlatformError(jobName_ + " was not written to " + path_ + ": " + why + "; " + CutBack());
  }
  return "";
}

void JobFileChannel::Fail(const std::string& why) {
  const std::string back = CutBack();
  throw PlatformError(jobName_ + " was not written to " + path_ + ": " + why + "; " + back);
}

// The file's length before the job is not asked for while all goes well:
// it is the length now less what this job wrote.
std::string JobFileChannel::CutBack() noexcept {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  const std::uintmax_t now = std::filesystem::file_size(path_, ec);
  if (ec || now < written_) return "the file could not be cut back";
  std::filesystem::resize_file(path_, now - written_, ec);
  if (ec) return "the file could not be cut back: " + ec.message();
  return "the file is back to its " + std::to_string(now - written_) + " bytes from before the job";
}

}  // namespace imptherm
