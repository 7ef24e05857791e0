#include "output/printer_queue.h"

#include <string_view>

#include "base/text.h"
#include "output/send_job.h"
#include "platform/error.h"

namespace imptherm {
namespace {

void SendPiece(RunLog& runLog, RawDocument& document, const std::string& piece) {
  try {
    document.Write(piece);
  } catch (const PlatformError&) {
    runLog.Write("Print error");
  }
}

}  // namespace

void SendToPrinterQueue(RunLog& runLog, RawDocument& document, const std::string& job) {
  // Every byte goes out, NUL bytes included: the job is opaque here.
  if (job.size() + 2 < kSinglePieceLimit) {
    SendPiece(runLog, document, job);
    return;
  }
  for (std::size_t pos = 0; pos < job.size(); pos += kPrinterPieceSize)
    SendPiece(runLog, document, job.substr(pos, kPrinterPieceSize));
}

void WriteToPortHandle(RunLog& runLog, PortDevice& device, const std::string& job) {
  const std::string_view all(job);
  for (std::size_t pos = 0; pos < all.size(); pos += kPortPieceSize) {
    const std::string_view piece = all.substr(pos, kPortPieceSize);
    for (std::size_t done = 0; done < piece.size();) {
      const PortDevice::WriteResult r = device.Write(piece.data() + done, piece.size() - done);
      if (!r.ok) {
        runLog.Write("Error WriteFile:" + std::to_string(r.errorCode));
        return;
      }
      if (r.written == 0) {
        runLog.Write("Error WriteFile:TimeOut");
        return;
      }
      done += r.written;
    }
  }
}

std::string SendToNamedPrinter(OutputContext& ctx, const std::string& prnName, const std::string& job) {
  const std::string wanted = UpperAscii(prnName);
  // An empty name matches no printer.
  if (!wanted.empty()) {
    for (const std::string& name : ctx.printer.InstalledPrinters()) {
      if (UpperAscii(name).find(wanted) == std::string::npos) continue;
      ctx.printer.SelectPrinter(name);
      ctx.runLog.Write("Printer OK: " + ctx.printer.Current());
      try {
        auto document = ctx.printer.BeginRawDocument(kPrinterDocumentTitle);
        SendToPrinterQueue(ctx.runLog, *document, job);
        document->End();
        return "";
      } catch (const PlatformError&) {
        ctx.runLog.Write("Printer error");
      }
    }
  }
  return kNoPrinterMessage;
}

void SendToParallelPort(OutputContext& ctx, const std::string& portName, const std::string& job) {
  auto device = ctx.platform.portDevices.OpenForWriting(portName);
  if (!device) {
    ctx.runLog.Write("Error on port " + portName);
    return;
  }
  WriteToPortHandle(ctx.runLog, *device, job);
}

}  // namespace imptherm
