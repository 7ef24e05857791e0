#include "output/send_job.h"

#include "base/text.h"
#include "run/files.h"

namespace imptherm {

std::string SendJob(OutputContext& ctx, const std::string& fileOut, const std::string& prnName,
                    const std::string& job) {
  const std::string f = UpperAscii(fileOut);
  if (f == "FILE") {
    // Appended as it stands; a job file that exists is never emptied, so the
    // jobs of earlier runs survive a failed append.
    AppendToFile(TempFolder(ctx.platform.system) + kJobFileName, job);
    return "";
  }
  if (f == "WIN") return SendToNamedPrinter(ctx, prnName, job);
  const std::string prefix = f.substr(0, 3);
  if (prefix == "COM") SendToSerialPort(ctx, f, job);
  if (prefix == "LPT") SendToParallelPort(ctx, f, job);
  return "";
}

}  // namespace imptherm
