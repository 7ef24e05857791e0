#pragma once
#include <memory>
#include <string>

#include "output/channels.h"

namespace imptherm {

inline constexpr char kNoPrinterMessage[] = "Erreur de parametrage. Imprimante inexistante sur le poste.";
inline constexpr char kJobFileName[] = "etiquettesOrvane.txt";

// The channel fileOut names, ready for one job: "FILE" (the job file in the
// temp folder), "WIN" (a printer whose name contains prnName), COMn, LPTn;
// anything else takes the job and sends nothing. `jobName` names the job in
// the error the job file raises when the job cannot be written.
std::unique_ptr<JobChannel> OpenJobChannel(OutputContext& ctx, const std::string& fileOut, const std::string& prnName,
                                           const std::string& jobName = "the job");

// Delivers one whole job, unchanged, to the channel fileOut names. Returns
// the message for the driver: empty when the print run may go on.
std::string SendJob(OutputContext& ctx, const std::string& fileOut, const std::string& prnName, const std::string& job);

}  // namespace imptherm
