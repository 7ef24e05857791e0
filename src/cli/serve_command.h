#pragma once
#include "cli/options.h"

namespace imptherm::cli {

// Runs `impthermorvane serve`, the browser bridge, until SIGINT or SIGTERM.
int RunServeCommand(const Options& options);

}  // namespace imptherm::cli
