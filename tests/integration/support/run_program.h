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

// The job file `impthermorvane print` makes of the thermal run the bridge
// tests ask for (prnType 4 to the FILE channel, two labels a parcel) from
// `streamUrl`, run in `folder`; empty when the run failed, `err` then says why.
std::string ReferenceJobFile(const std::string& streamUrl, const std::string& folder, std::string& err);

}  // namespace imptherm::testing
