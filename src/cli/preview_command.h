#pragma once
#include <memory>
#include <optional>

#include "cli/options.h"
#include "platform/label_pictures.h"
#include "platform/posix/contact_sheet.h"
#include "platform/posix/posix_output_file.h"
#include "preview/epl_preview.h"
#include "run/stages.h"

namespace imptherm::cli {

// Runs `impthermorvane preview`.
int RunPreviewCommand(const Options& options);

// Whether -o names a folder (ends in / or exists as one) for PNG files
// rather than a PDF file.
bool IsPictureFolder(const std::string& out);

// The pictures that -o names, the PNG files also going to `sheet` when there
// is one; none of them is ever the file `job`. Raises PlatformError when it
// cannot be made.
std::unique_ptr<LabelPictures> OpenPreviewPictures(const std::string& out,
                                                   std::optional<posix::FileIdentity> job = std::nullopt,
                                                   posix::ContactSheet* sheet = nullptr);

// Prints the preview's notes on stderr, each with the job's name and its
// line; returns the exit status for them.
int ReportPreviewNotes(const EplPreview& preview, const std::string& jobName);

// Stages of a print run whose thermal jobs are drawn by `preview` instead of
// going to the channel that fileOut names; everything else is `inner`'s.
std::unique_ptr<PrintStages> PreviewJobStages(std::unique_ptr<PrintStages> inner, EplPreview& preview);

}  // namespace imptherm::cli
