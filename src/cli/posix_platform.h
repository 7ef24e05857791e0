#pragma once
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/posix/builtin_resources.h"
#include "platform/posix/cairo_documents.h"
#include "platform/posix/cups_printers.h"
#include "platform/posix/posix_network.h"
#include "platform/posix/posix_ntlm.h"
#include "platform/posix/posix_profiles.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/serial_ports.h"
#include "platform/posix/terminal_chooser.h"
#include "platform/posix/terminal_proxy_dialog.h"
#include "platform/posix/terminal_ui.h"

namespace imptherm::cli {

// Every POSIX backend, owned together, and the Platform over them.
struct PosixPlatform {
  struct Settings {
    bool interactive = false;  // someone can answer at the terminal
    std::FILE* out = stdout;   // where the progress window is printed
    std::string sheetPdf;      // sheets go to this PDF instead of a printer
    int firstLabel = 1;        // the chooser's answer when nobody can give one
  };
  explicit PosixPlatform(const Settings& s)
      : ui(s.interactive, s.out), documents(s.sheetPdf), chooser(ui, s.firstLabel) {}
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  posix::PosixSystem system;
  posix::TerminalUi ui;
  posix::BuiltinResources resources;
  posix::CupsPrinters printers;
  posix::PosixSerialPorts serialPorts{system};
  posix::PosixPortDevices portDevices{system};
  posix::PosixProfiles profiles;
  posix::PosixNetwork network;
  posix::PosixNtlm ntlm{system};
  posix::TerminalProxyDialog proxyDialog{ui};
  posix::CairoDocuments documents;
  posix::TerminalChooser chooser;
  Platform platform{.system = system,
                    .ui = ui,
                    .resources = resources,
                    .printers = printers,
                    .serialPorts = serialPorts,
                    .portDevices = portDevices,
                    .profiles = profiles,
                    .network = network,
                    .ntlm = ntlm,
                    .proxyDialog = proxyDialog,
                    .documents = documents,
                    .chooser = chooser};
};

}  // namespace imptherm::cli
