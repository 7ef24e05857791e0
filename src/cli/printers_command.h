#pragma once
#include <string>

#include "platform/printing.h"

namespace imptherm::cli {

// One line per installed printer, in the order the "WIN" channel searches
// them: "* " before the default printer, two blanks before the others.
std::string FormatPrinterList(Printers& printers);

// Runs `impthermorvane printers` against the CUPS server; exit status 0.
int RunPrintersCommand();

}  // namespace imptherm::cli
