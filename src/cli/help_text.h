#pragma once
#include <string>

#include "cli/command_table.h"

namespace imptherm::cli {

// What `impthermorvane --help` prints: the commands, a line each.
std::string ProgramHelp();
// What `impthermorvane COMMAND --help` prints: usage, options, an example.
std::string CommandHelp(const CommandSpec& command);
// After a refused command line: the usage of the command it names (or of
// the program), and where to read more.
std::string UsageHint(const std::string& commandName);

}  // namespace imptherm::cli
