#include "output/serial_port.h"

#include <memory>

#include "platform/error.h"

namespace imptherm {
namespace {

std::uint32_t Since(System& system, std::uint32_t start) { return system.TickCount() - start; }

bool Ready(const ModemLines& lines) { return lines.cts && lines.dsr; }

}  // namespace

bool IsWin9xFamily(int osKind) { return osKind == 1 || osKind == 4 || osKind == 5; }

void DelayMs(System& system, bool win9xFamily, std::uint32_t milliseconds) {
  if (win9xFamily) {
    system.Sleep(milliseconds);
    return;
  }
  // Counted on the clock, not trusted to one sleep. Sleeping the remainder
  // rather than spinning leaves the processor to the rest of the machine.
  const std::uint32_t start = system.TickCount();
  for (std::uint32_t elapsed; (elapsed = Since(system, start)) < milliseconds;) system.Sleep(milliseconds - elapsed);
}

void WaitForDsr(OutputContext& ctx, SerialPort& port) {
  System& system = ctx.platform.system;
  while (!port.ReadModemLines().dsr) {
    const std::uint32_t start = system.TickCount();
    do {
      ctx.platform.serialPorts.ProcessPendingEvents();
    } while (!port.ReadModemLines().dsr && Since(system, start) < kDsrWaitPeriodMs);
  }
}

void WriteSerialJob(OutputContext& ctx, SerialPort& port, const std::string& portName, std::string_view job,
                    bool win9xFamily) {
  System& system = ctx.platform.system;
  std::size_t i = 0;
  while (i < job.size()) {
    if (Ready(port.ReadModemLines())) {
      if (port.ClearErrorsTransmitFull()) DelayMs(system, win9xFamily, kTransmitFullPauseMs);
      // A byte the port did not take within its time-out is offered again.
      if (port.WriteByte(job[i]) >= 1) ++i;
      continue;
    }
    if (win9xFamily) port.SetRts(true);
    for (;;) {
      const std::uint32_t start = system.TickCount();
      bool ready = false;
      do {
        ctx.platform.serialPorts.ProcessPendingEvents();
        ready = Ready(port.ReadModemLines());
      } while (!ready && Since(system, start) < kReadyWaitPeriodMs);
      if (ready) break;
      const std::string line = "timeOut " + portName;
      ctx.runLog.Write(line);
      if (ctx.progress) ctx.progress->AddLine(line);
    }
    if (win9xFamily) port.SetRts(false);
  }
}

namespace {

// The serial channel: the port is opened, set and waited for by the job's
// first piece, and closed by Finish once the last bytes had time to leave.
class SerialChannel final : public JobChannel {
 public:
  SerialChannel(OutputContext& ctx, std::string portName)
      : ctx_(ctx), portName_(std::move(portName)), win9x_(IsWin9xFamily(ctx.platform.serialPorts.OsKind())) {}

  void Write(std::string_view piece) override {
    if (!failure().empty() || piece.empty()) return;
    if (!port_ && !Open()) return;
    try {
      WriteSerialJob(ctx_, *port_, portName_, piece, win9x_);
    } catch (const PlatformError& e) {
      // The device went away in the middle of the job: the rest of this job
      // is lost, the next record gets a fresh open.
      ctx_.runLog.Write("Error on port " + portName_ + ": " + e.what());
      Fail("the serial port " + portName_ + " failed during the job: " + e.what());
    }
  }

  std::string Finish() override {
    if (port_) {
      // Lets the last bytes leave the port before it is closed.
      DelayMs(ctx_.platform.system, win9x_, kDrainPauseMs);
      port_.reset();
    }
    return "";
  }

 private:
  bool Open() {
    if (portName_.substr(0, 3) != "COM") {
      Fail(portName_ + " is no serial port");
      return false;
    }
    ctx_.runLog.Write("Open " + portName_);
    // The port is purged and closed by its destructor however this ends,
    // also when the person abandons the run during a wait.
    std::string why;
    try {
      port_ = ctx_.platform.serialPorts.Open(portName_, win9x_);
      if (port_) WaitForDsr(ctx_, *port_);
    } catch (const PlatformError& e) {
      port_.reset();
      why = std::string(": ") + e.what();
    }
    if (port_) return true;
    ctx_.runLog.Write("Pb ouverture " + portName_);
    Fail("the serial port " + portName_ + " could not be opened" + why);
    return false;
  }

  OutputContext ctx_;  // a copy: the channel may outlive the caller's context
  std::string portName_;
  bool win9x_;
  std::unique_ptr<SerialPort> port_;
};

}  // namespace

std::unique_ptr<JobChannel> OpenSerialChannel(OutputContext& ctx, const std::string& portName) {
  return std::make_unique<SerialChannel>(ctx, portName);
}

void SendToSerialPort(OutputContext& ctx, const std::string& portName, const std::string& job) {
  SerialChannel channel(ctx, portName);
  if (!job.empty()) channel.Write(job);
  channel.Finish();
}

}  // namespace imptherm
