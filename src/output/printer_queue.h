#pragma once
#include <cstddef>
#include <string>

#include "output/channels.h"
#include "platform/port.h"
#include "platform/printing.h"

namespace imptherm {

inline constexpr char kPrinterDocumentTitle[] = "ImpThermOrvane";
// A job whose length plus the 2-byte count of a passthrough buffer stays
// below this limit goes out in one piece; larger jobs in pieces of
// kPrinterPieceSize.
inline constexpr std::size_t kSinglePieceLimit = 65000;
inline constexpr std::size_t kPrinterPieceSize = 64998;
inline constexpr std::size_t kPortPieceSize = 4096;
// A job is kept while it goes to a printer, so that the next printer can be
// given all of it when the first one fails; past this size it is not.
inline constexpr std::size_t kPrinterReplayLimit = 4 * 1024 * 1024;

// Hands the job to an open raw document in pieces; a piece the printer
// refuses is logged and the next one is still tried.
void SendToPrinterQueue(RunLog& runLog, RawDocument& document, const std::string& job);

// Writes the job to an open port device in pieces of kPortPieceSize. A
// piece the device takes only in part is completed; a failed write, or one
// that takes nothing, ends the job with a log line.
void WriteToPortHandle(RunLog& runLog, PortDevice& device, const std::string& job);

}  // namespace imptherm
