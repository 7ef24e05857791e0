#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "output/channels.h"

namespace imptherm {

inline constexpr char kNoPrinterMessage[] = "Erreur de parametrage. Imprimante inexistante sur le poste.";
inline constexpr char kJobFileName[] = "etiquettesOrvane.txt";

// Where the jobs of a print run go, as fileOut and prnName name it: "FILE"
// (the job file in the temp folder), "WIN" (a printer whose name contains
// prnName), COMn, LPTn; anything else takes the jobs and sends nothing.
// Worked out once a run, so that each job opens its channel without reading
// the names and the temp folder again.
class JobTarget {
 public:
  JobTarget(System& system, std::string fileOut, std::string prnName);
  // Whether the target is the one these names give.
  bool Names(const std::string& fileOut, const std::string& prnName) const {
    return fileOut == fileOut_ && prnName == prnName_;
  }
  // The channel, ready for one job. The job file names the job as the job
  // of record `record` (0: "the job") in the error it raises when the job
  // cannot be written.
  std::unique_ptr<JobChannel> Open(OutputContext& ctx, std::size_t record = 0) const;

 private:
  std::string fileOut_, prnName_;
  std::string kind_;     // fileOut in capitals
  std::string jobFile_;  // for "FILE"
};

// The channel fileOut names, ready for one job (JobTarget).
std::unique_ptr<JobChannel> OpenJobChannel(OutputContext& ctx, const std::string& fileOut, const std::string& prnName);

// Delivers one whole job, unchanged, to the channel fileOut names. Returns
// the message for the driver: empty when the print run may go on.
std::string SendJob(OutputContext& ctx, const std::string& fileOut, const std::string& prnName, const std::string& job);

}  // namespace imptherm
