// impthermorvane: the label printing control's print run on the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/preview_command.h"
#include "cli/print_command.h"
#include "cli/printers_command.h"
#include "cli/serve_command.h"
#include "run/credentials.h"
#include "run/version.h"

int main(int argc, char** argv) {
  using namespace imptherm::cli;
  Options options;
  std::string error;
  if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "impthermorvane: %s\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  switch (options.command) {
    case Options::Command::Help: std::fputs(kUsage, stdout); return kExitOk;
    case Options::Command::Version: std::printf("%s\n", imptherm::kVersionDotted); return kExitOk;
    case Options::Command::Scramble:
      std::printf("%s\n", imptherm::ScrambleCredential(options.scrambleText).c_str());
      return kExitOk;
    case Options::Command::Print: return RunPrintCommand(options);
    case Options::Command::Printers: return RunPrintersCommand();
    case Options::Command::Preview: return RunPreviewCommand(options);
    case Options::Command::Serve: return RunServeCommand(options);
  }
  return kExitUsage;
}
