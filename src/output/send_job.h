#pragma once
#include <string>

#include "output/channels.h"

namespace imptherm {

inline constexpr char kNoPrinterMessage[] = "Erreur de parametrage. Imprimante inexistante sur le poste.";
inline constexpr char kJobFileName[] = "etiquettesOrvane.txt";

// Delivers one job, unchanged, to the channel fileOut names: "FILE" (the job
// file in the temp folder), "WIN" (a printer whose name contains prnName),
// COMn, LPTn; anything else sends nothing. Returns the message for the
// driver: empty when the print run may go on.
std::string SendJob(OutputContext& ctx, const std::string& fileOut, const std::string& prnName, const std::string& job);

}  // namespace imptherm
