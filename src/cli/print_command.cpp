#include "cli/print_command.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/cp1252.h"
#include "cli/named_parameters.h"
#include "cli/posix_platform.h"
#include "cli/preview_command.h"
#include "platform/error.h"
#include "platform/posix/interrupt.h"
#include "run/core_stages.h"
#include "run/print_run.h"

namespace imptherm::cli {
namespace {

void Complain(const std::string& text) { std::fprintf(stderr, "impthermorvane: %s\n", text.c_str()); }

bool ReadPage(const std::string& path, NamedValues& params) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Complain("cannot read the page " + path);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto page = ParsePageParameters(text.str());
  if (!page) {
    Complain(path + ": " + page.error());
    return false;
  }
  params = std::move(*page);
  return true;
}

int ExitFor(const RunResult& r) {
  if (r.outcome != RunOutcome::Completed) Complain(Cp1252ToUtf8(OutcomeMessage(r)));
  return OutcomeStatus(r.outcome);
}

}  // namespace

int RunPrintCommand(const Options& options) {
  NamedValues params;
  if (!options.pagePath.empty() && !ReadPage(options.pagePath, params)) return kExitUsage;
  params.insert(params.end(), options.params.begin(), options.params.end());

  PosixPlatform::Settings settings;
  settings.interactive = !options.batch && ::isatty(STDIN_FILENO);
  settings.sheetPdf = options.sheetPdf;
  settings.firstLabel = options.firstLabel;
  PosixPlatform backends(settings);
  Module module(backends.platform);
  module.stages = MakeCoreStages(module);
  posix::InstallInterruptHandler();
  NamedParameters source(std::move(params));
  if (options.previewOut.empty()) return ExitFor(PrintRun(module).Load(source));

  // The thermal jobs are drawn instead of sent.
  std::unique_ptr<LabelPictures> pictures;
  try {
    pictures = OpenPreviewPictures(options.previewOut);
  } catch (const PlatformError& e) {
    Complain(e.what());
    return kExitError;
  }
  EplPreview preview(*pictures, {options.previewDpi, 0, 0});
  module.stages = PreviewJobStages(std::move(module.stages), preview);
  const int status = ExitFor(PrintRun(module).Load(source));
  try {
    pictures->Finish();
  } catch (const PlatformError& e) {
    Complain(e.what());
    return kExitError;
  }
  const int notes = ReportPreviewNotes(preview, "job");
  return status != kExitOk ? status : notes;
}

}  // namespace imptherm::cli
