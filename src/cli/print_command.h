#pragma once
#include "cli/options.h"

namespace imptherm::cli {

// Runs `impthermorvane print`; returns the exit status and prints one line
// on stderr when the run did not end normally.
int RunPrintCommand(const Options& options);

}  // namespace imptherm::cli
