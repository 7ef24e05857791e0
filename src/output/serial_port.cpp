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

void WriteSerialJob(OutputContext& ctx, SerialPort& port, const std::string& portName, const std::string& job,
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

void SendToSerialPort(OutputContext& ctx, const std::string& portName, const std::string& job) {
  const bool win9x = IsWin9xFamily(ctx.platform.serialPorts.OsKind());
  if (portName.substr(0, 3) != "COM") return;
  ctx.runLog.Write("Open " + portName);
  // The port is purged and closed by its destructor however this ends,
  // also when the person abandons the run during a wait.
  std::unique_ptr<SerialPort> port;
  try {
    port = ctx.platform.serialPorts.Open(portName, win9x);
    if (port) WaitForDsr(ctx, *port);
  } catch (const PlatformError&) {
    port.reset();
  }
  if (!port) {
    ctx.runLog.Write("Pb ouverture " + portName);
    return;
  }
  try {
    WriteSerialJob(ctx, *port, portName, job, win9x);
  } catch (const PlatformError& e) {
    // The device went away in the middle of the job: the rest of this job
    // is lost, the next record gets a fresh open.
    ctx.runLog.Write("Error on port " + portName + ": " + e.what());
  }
  // Lets the last bytes leave the port before it is closed.
  DelayMs(ctx.platform.system, win9x, kDrainPauseMs);
}

}  // namespace imptherm
