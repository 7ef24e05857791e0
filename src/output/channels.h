#pragma once
#include <string>

#include "output/printer_object.h"
#include "platform/platform.h"
#include "platform/ui.h"
#include "run/logs.h"

namespace imptherm {

// What the output channels need from the module.
struct OutputContext {
  Platform& platform;
  RunLog& runLog;
  PrinterObject& printer;
  // The progress window's memo during a print run: the serial writer shows
  // there that it is waiting for the printer. Nothing outside a print run.
  Memo* progress = nullptr;
};

// The device channels behind SendJob. Each reports to the run log only,
// except the printer channel, which returns the message for the driver.
std::string SendToNamedPrinter(OutputContext& ctx, const std::string& prnName, const std::string& job);
void SendToSerialPort(OutputContext& ctx, const std::string& portName, const std::string& job);
void SendToParallelPort(OutputContext& ctx, const std::string& portName, const std::string& job);

}  // namespace imptherm
