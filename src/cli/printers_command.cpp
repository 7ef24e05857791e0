#include "cli/printers_command.h"

#include <cstdio>

#include "cli/options.h"
#include "platform/error.h"
#include "platform/posix/cups_printers.h"

namespace imptherm::cli {

namespace {

const char* Describe(JobInput input) {
  switch (input) {
    case JobInput::Epl2: return "EPL2";
    case JobInput::Raw: return "raw";
    case JobInput::Neither: return "neither EPL2 nor raw: a page printer, labels sent to it are not printed";
  }
  return "";
}

}  // namespace

std::string FormatPrinterList(Printers& printers) {
  const std::string defaultPrinter = printers.DefaultPrinter();
  std::string text;
  for (const std::string& name : printers.List())
    text += (!defaultPrinter.empty() && name == defaultPrinter ? "* " : "  ") + name + "  (" +
            Describe(printers.InputOf(name)) + ")\n";
  return text;
}

int RunPrintersCommand() {
  posix::CupsPrinters printers;
  std::string text;
  try {
    text = FormatPrinterList(printers);
  } catch (const PlatformError& e) {
    // A server that cannot be reached or does not answer is not a machine
    // without printers.
    std::fprintf(stderr, "impthermorvane: %s\n", e.what());
    return kExitError;
  }
  if (text.empty()) std::fputs("impthermorvane: no printer is installed\n", stderr);
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

}  // namespace imptherm::cli
