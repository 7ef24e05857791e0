#pragma once
#include <map>
#include <string>
#include <vector>

namespace imptherm::testing {

struct ProgramResult {
  int exitStatus = -1;  // -1 when it did not exit normally (killed by the time limit)
  std::string out, err;
};

// Runs the built impthermorvane with the arguments and extra environment,
// standard input from /dev/null, killed after `seconds`.
ProgramResult RunProgram(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                         int seconds = 60);

}  // namespace imptherm::testing
