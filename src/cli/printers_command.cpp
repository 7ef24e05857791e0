#include "cli/printers_command.h"

#include <cstdio>

#include "cli/options.h"
#include "platform/posix/cups_printers.h"

namespace imptherm::cli {

std::string FormatPrinterList(Printers& printers) {
  const std::string defaultPrinter = printers.DefaultPrinter();
  std::string text;
  for (const std::string& name : printers.List())
    text += (!defaultPrinter.empty() && name == defaultPrinter ? "* " : "  ") + name + "\n";
  return text;
}

int RunPrintersCommand() {
  posix::CupsPrinters printers;
  const std::string text = FormatPrinterList(printers);
  if (text.empty()) std::fputs("impthermorvane: no printer is installed\n", stderr);
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

}  // namespace imptherm::cli
