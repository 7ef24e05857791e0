#include "output/send_job.h"

#include "base/text.h"
#include "output/job_file.h"

namespace imptherm {
namespace {

// A fileOut that names no channel: every job is dropped without a word to
// the page, and the run's outcome says that nothing was sent.
class NoChannel final : public JobChannel {
 public:
  explicit NoChannel(const std::string& fileOut) {
    Fail("fileOut \"" + fileOut.substr(0, 100) + "\" names no output channel (FILE, WIN, COMn or LPTn)");
  }
  void Write(std::string_view) override {}
  std::string Finish() override { return ""; }
};

}  // namespace

JobTarget::JobTarget(System& system, std::string fileOut, std::string prnName)
    : fileOut_(std::move(fileOut)), prnName_(std::move(prnName)), kind_(UpperAscii(fileOut_)) {
  if (kind_ == "FILE") jobFile_ = TempFolder(system) + kJobFileName;
}

std::unique_ptr<JobChannel> JobTarget::Open(OutputContext& ctx, std::size_t record) const {
  if (kind_ == "FILE") return std::make_unique<JobFileChannel>(ctx.platform.system, jobFile_, record);
  if (kind_ == "WIN") return OpenPrinterChannel(ctx, prnName_);
  const std::string prefix = kind_.substr(0, 3);
  if (prefix == "COM") return OpenSerialChannel(ctx, kind_);
  if (prefix == "LPT") return OpenParallelChannel(ctx, kind_);
  return std::make_unique<NoChannel>(fileOut_);
}

std::unique_ptr<JobChannel> OpenJobChannel(OutputContext& ctx, const std::string& fileOut, const std::string& prnName) {
  return JobTarget(ctx.platform.system, fileOut, prnName).Open(ctx);
}

std::string SendJob(OutputContext& ctx, const std::string& fileOut, const std::string& prnName,
                    const std::string& job) {
  std::unique_ptr<JobChannel> channel = OpenJobChannel(ctx, fileOut, prnName);
  if (!job.empty()) channel->Write(job);
  return channel->Finish();
}

}  // namespace imptherm
