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

std::unique_ptr<JobChannel> OpenJobChannel(OutputContext& ctx, const std::string& fileOut, const std::string& prnName,
                                           const std::string& jobName) {
  const std::string f = UpperAscii(fileOut);
  if (f == "FILE")
    return std::make_unique<JobFileChannel>(ctx.platform.system, TempFolder(ctx.platform.system) + kJobFileName,
                                            jobName);
  if (f == "WIN") return OpenPrinterChannel(ctx, prnName);
  const std::string prefix = f.substr(0, 3);
  if (prefix == "COM") return OpenSerialChannel(ctx, f);
  if (prefix == "LPT") return OpenParallelChannel(ctx, f);
  return std::make_unique<NoChannel>(fileOut);
}

std::string SendJob(OutputContext& ctx, const std::string& fileOut, const std::string& prnName,
                    const std::string& job) {
  std::unique_ptr<JobChannel> channel = OpenJobChannel(ctx, fileOut, prnName);
  if (!job.empty()) channel->Write(job);
  return channel->Finish();
}

}  // namespace imptherm
