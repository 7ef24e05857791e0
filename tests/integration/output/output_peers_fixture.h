#pragma once
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "fakes/output_stages.h"
#include "output/send_job.h"
#include "platform/posix/cups_printers.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/serial_ports.h"
#include "run/print_run.h"

namespace imptherm {

// The real POSIX channels (CUPS, termios, port devices) with the run log in
// a folder of the test's own.
class RealOutput {
 public:
  RealOutput() { runLog.SetWorkFolder(dir.path()); }
  std::string RunLogText() const { return dir.Read("OWTMP.LOG"); }
  bool Logged(const std::string& text) const { return RunLogText().find(" " + text + "\r\n") != std::string::npos; }

  // A print run of `jobs` (one a record) to the "WIN" channel's printer
  // `prnName`, with its run log in the test's folder.
  RunResult PrintToPrinter(const std::string& prnName, DataLines jobs) {
    class Params final : public ParameterSource {
     public:
      explicit Params(std::string printer) : printer_(std::move(printer)) {}
      std::optional<std::string> Read(const std::string& name) override {
        if (name == "prnType") return "7";
        if (name == "fileOut") return "WIN";
        if (name == "streamUrl") return "http://127.0.0.1/labels";
        if (name == "prnName") return printer_;
        return std::nullopt;
      }

     private:
      std::string printer_;
    } params(prnName);
    const char* tmp = std::getenv("TMPDIR");
    const std::string oldTmp = tmp ? tmp : "";
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    Module module(platform);
    module.stages = std::make_unique<fakes::OutputStages>(module, jobs);
    const RunResult r = PrintRun(module).Load(params);
    tmp ? ::setenv("TMPDIR", oldTmp.c_str(), 1) : ::unsetenv("TMPDIR");
    return r;
  }

  fakes::TempDir dir;
  posix::PosixSystem system;
  posix::CupsPrinters printers;
  posix::PosixSerialPorts serialPorts{system};
  posix::PosixPortDevices portDevices{system};
  fakes::FakePlatform fakes;
  Platform platform =
      fakes.With({.system = &system, .printers = &printers, .serialPorts = &serialPorts, .portDevices = &portDevices});
  RunLog runLog{system};
  PrinterObject printer{printers};
  fakes::FakeMemo progress;
  OutputContext ctx{platform, runLog, printer, &progress};
};

// Bytes of every value, NUL and 0xFF included, in an order that shows a
// lost, repeated or swapped byte.
inline std::string BinaryJob(std::size_t size) {
  std::string job(size, '\0');
  for (std::size_t i = 0; i < size; ++i) job[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
  return job;
}

}  // namespace imptherm
