#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/job_sink.h"
#include "platform/error.h"
#include "platform/output_file.h"
#include "platform/system.h"

namespace imptherm {

// The job file channel: a job is appended whole or not at all. The file is
// opened for appending by the job's first piece and closed by Finish, so a
// file taken away between two jobs is never written to through an old
// handle, and every finished job is with the system however the process
// ends. A job file that exists is never emptied.
class JobFileChannel final : public JobChannel {
 public:
  // The error raised when the job cannot be written names it as the job of
  // record `record`, or as "the job" without one (0).
  JobFileChannel(System& system, std::string path, std::size_t record = 0)
      : system_(system), path_(std::move(path)), record_(record) {}
  // A job abandoned before Finish is cut out of the file again.
  ~JobFileChannel() override;

  // Raises PlatformError when the file cannot be opened, or when a write
  // fails; the file is then cut back to its length before the job.
  void Write(std::string_view piece) override;
  std::string Finish() override;

 private:
  std::string CutBack() noexcept;
  // The error of a write that failed, after the job was cut out again.
  [[noreturn]] void Fail(const PlatformError& e);

  System& system_;
  std::string path_;
  std::size_t record_;
  std::unique_ptr<OutputFile> file_;
  std::uint64_t start_ = 0;  // the file's length before the job
};

}  // namespace imptherm
