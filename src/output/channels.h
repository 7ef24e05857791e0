#pragma once
#include <memory>
#include <string>

#include "common/job_sink.h"
#include "common/logs.h"
#include "common/printer_object.h"
#include "platform/platform.h"
#include "platform/ui.h"

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

// The device channels behind SendJob, each taking one job piece by piece
// and opening its device on the first piece. Each reports to the run log
// only, except the printer channel, whose Finish returns the message for the
// driver.
std::unique_ptr<JobChannel> OpenPrinterChannel(OutputContext& ctx, const std::string& prnName);
std::unique_ptr<JobChannel> OpenSerialChannel(OutputContext& ctx, const std::string& portName);
std::unique_ptr<JobChannel> OpenParallelChannel(OutputContext& ctx, const std::string& portName);

// A whole job on the serial channel.
void SendToSerialPort(OutputContext& ctx, const std::string& portName, const std::string& job);

}  // namespace imptherm
