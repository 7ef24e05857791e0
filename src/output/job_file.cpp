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
    std::error_code ec;
    before_ = std::filesystem::file_size(path_, ec);
    if (ec) {
      // Without its length the file could not be cut back: nothing is written.
      std::fclose(file_);
      file_ = nullptr;
      throw PlatformError("cannot append " + jobName_ + " to " + path_ + ": " + ec.message());
    }
  }
  errno = 0;
  if (std::fwrite(piece.data(), 1, piece.size(), file_) != piece.size()) Fail(Reason());
}

std::string JobFileChannel::Finish() {
  if (!file_) return "";
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed) {
    const std::string why = Reason();
    CutBack();
    throw PlatformError(jobName_ + " was not written to " + path_ + ": " + why);
  }
  return "";
}

void JobFileChannel::Fail(const std::string& why) {
  CutBack();
  throw PlatformError(jobName_ + " was not written to " + path_ + ": " + why + "; the file is back to its " +
                      std::to_string(before_) + " bytes from before the job");
}

void JobFileChannel::CutBack() noexcept {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  std::filesystem::resize_file(path_, before_, ec);
}

}  // namespace imptherm
