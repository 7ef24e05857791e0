#pragma once
#include <string>
#include <vector>

#include "base/parsed.h"
#include "cli/html_params.h"

namespace imptherm::cli {

// Exit statuses of `impthermorvane`.
enum ExitStatus {
  kExitOk = 0,
  kExitUsage = 1,              // the command line itself was wrong
  kExitParametersRefused = 2,  // prnType, fileOut or streamUrl missing
  kExitDownloadFailed = 3,     // no label data file could be fetched or read
  kExitChannelMessage = 4,     // an output channel returned its message
  kExitAbandoned = 5,          // the user abandoned (chooser, Ctrl-C)
  kExitError = 6,              // an error was raised and contained
  kExitPreviewNotes = 7,       // preview drawn, but lines of the job were not drawn as written
};

struct Options {
  enum class Command { Help, Version, Print, Scramble, Printers, Preview, Serve } command = Command::Help;
  NamedValues params;    // in the order given; a later one wins
  std::string pagePath;  // --page
  bool batch = false;    // --batch: never wait for a person
  int firstLabel = 1;    // --first-label: the sheet slot taken when nobody is asked
  std::string sheetPdf;  // --sheet-pdf: sheets go to this PDF file, not to a printer
  std::string scrambleText;
  std::string helpFor;  // help: the command whose help is asked for; empty: the program's
  // preview, and print --preview: where the pictures of the labels go (a
  // .pdf file, or a folder for PNG files), the job, resolution, label size.
  std::string previewOut;
  std::string previewJob;
  int previewDpi = 203;
  int previewWidth = 0, previewLength = 0;
  std::string contactSheet;  // preview --contact-sheet: every label, smaller, in one PNG
  // serve: the port (-1: the configuration's), the configuration file, the
  // origins allowed for this start.
  int servePort = -1;
  std::string serveConfig;
  std::vector<std::string> allowOrigins;
};

// Parses the arguments after the program name.
Parsed<Options> ParseOptions(const std::vector<std::string>& args);

}  // namespace imptherm::cli
