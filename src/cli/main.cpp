// impthermorvane: the label printing control's print run on the command line.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/help_text.h"
#include "cli/options.h"
#include "cli/preview_command.h"
#include "cli/print_command.h"
#include "cli/printers_command.h"
#include "cli/serve_command.h"
#include "run/credentials.h"
#include "run/version.h"

int main(int argc, char** argv) {
  using namespace imptherm::cli;
  // A file size limit (ulimit -f) would kill the program in the middle of a
  // job, leaving half of it in the job file and nothing in the run log.
  // Ignored, the write fails with EFBIG instead and takes the way of a full
  // disk: the job is cut back out, the run log says why.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = ParseOptions(args);
  if (!parsed) {
    std::fprintf(stderr, "impthermorvane: %s\n%s", parsed.error().c_str(), UsageHint(args[0]).c_str());
    return kExitUsage;
  }
  const Options& options = *parsed;
  switch (options.command) {
    case Options::Command::Help:
      std::fputs(options.helpFor.empty() ? ProgramHelp().c_str() : CommandHelp(*FindCommand(options.helpFor)).c_str(),
                 stdout);
      return kExitOk;
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
