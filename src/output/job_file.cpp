#include "output/job_file.h"

#include "platform/error.h"

namespace imptherm {

JobFileChannel::~JobFileChannel() {
  if (file_) CutBack();
}

void JobFileChannel::Write(std::string_view piece) {
  if (piece.empty()) return;
  if (!file_) {
    file_ = system_.OpenOutputFile(path_, OpenMode::Append);
    start_ = file_->Size();
  }
  try {
    file_->Write(piece);
  } catch (const PlatformError& e) {
    Fail(e);
  }
}

std::string JobFileChannel::Finish() {
  if (!file_) return "";
  try {
    file_->Close();
  } catch (const PlatformError& e) {
    Fail(e);
  }
  file_.reset();
  return "";
}

void JobFileChannel::Fail(const PlatformError& e) {
  const std::string back = CutBack();
  const std::string job = record_ ? "the job of record " + std::to_string(record_) : "the job";
  throw PlatformError(job + " was not written to " + path_ + " (" + e.what() + "); " + back);
}

std::string JobFileChannel::CutBack() noexcept {
  try {
    file_->Truncate(start_);
    file_.reset();
    return "the file is back to its " + std::to_string(start_) + " bytes from before the job";
  } catch (...) {
    file_.reset();
    return "the file could not be cut back";
  }
}

}  // namespace imptherm
