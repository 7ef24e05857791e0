#include "cli/preview_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error.h"
#include "platform/posix/cairo_documents.h"

namespace imptherm::cli {
namespace {

void Complain(const std::string& text) { std::fprintf(stderr, "impthermorvane: %s\n", text.c_str()); }

// The job's descriptor, closed however the preview ends.
class JobFile {
 public:
  explicit JobFile(int fd) : fd_(fd) {}
  ~JobFile() { ::close(fd_); }
  JobFile(const JobFile&) = delete;
  JobFile& operator=(const JobFile&) = delete;

 private:
  int fd_;
};

class PreviewChannel final : public JobChannel {
 public:
  explicit PreviewChannel(EplPreview& preview) : preview_(preview) {}
  void Write(std::string_view piece) override { preview_.Write(piece); }
  std::string Finish() override {
    preview_.Finish();
    return "";
  }

 private:
  EplPreview& preview_;
};

class PreviewStages final : public PrintStages {
 public:
  PreviewStages(std::unique_ptr<PrintStages> inner, EplPreview& preview)
      : inner_(std::move(inner)), preview_(preview) {}
  LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo) override {
    return inner_->DownloadLabelData(url, cookie, memo);
  }
  int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                   const std::string& extraHeader, Memo& memo) override {
    return inner_->HttpExchange(method, url, file, extraHeader, memo);
  }
  std::size_t GroupRecordLines(const DataLines& lines, std::size_t start, RecordLines& record) override {
    return inner_->GroupRecordLines(lines, start, record);
  }
  void BuildThermalJob(const RunOptions& run, const RecordLines& record, JobSink& sink) override {
    inner_->BuildThermalJob(run, record, sink);
  }
  std::unique_ptr<JobChannel> OpenJob(const RunOptions&) override { return std::make_unique<PreviewChannel>(preview_); }
  bool PositionChooserExists() override { return inner_->PositionChooserExists(); }
  void CreatePositionChooser() override { inner_->CreatePositionChooser(); }
  ChooserResult ShowPositionChooser() override { return inner_->ShowPositionChooser(); }
  void PrintSheetRecord(const RunOptions& run, const RecordLines& record, bool isFirstRecord) override {
    inner_->PrintSheetRecord(run, record, isFirstRecord);
  }
  int EndSheetDocument() override { return inner_->EndSheetDocument(); }
  void AbortSheetDocument() override { inner_->AbortSheetDocument(); }

 private:
  std::unique_ptr<PrintStages> inner_;
  EplPreview& preview_;
};

}  // namespace

bool IsPictureFolder(const std::string& out) {
  struct stat st {};
  return out.back() == '/' || (::stat(out.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

std::unique_ptr<LabelPictures> OpenPreviewPictures(const std::string& out, std::optional<posix::FileIdentity> job,
                                                   posix::ContactSheet* sheet) {
  if (!IsPictureFolder(out)) return posix::OpenLabelPdf(out, job);
  if (::mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) throw PlatformError("cannot make the folder " + out);
  return posix::OpenLabelPngFolder(out, job, sheet);
}

int ReportPreviewNotes(const EplPreview& preview, const std::string& jobName) {
  for (const PreviewNote& n : preview.notes())
    std::fprintf(stderr, "%s:%zu: %s\n", jobName.c_str(), n.line, n.text.c_str());
  if (preview.notesLeftOut() > 0)
    std::fprintf(stderr, "%s: %zu more lines not drawn as written\n", jobName.c_str(), preview.notesLeftOut());
  return preview.notes().empty() ? kExitOk : kExitPreviewNotes;
}

std::unique_ptr<PrintStages> PreviewJobStages(std::unique_ptr<PrintStages> inner, EplPreview& preview) {
  return std::make_unique<PreviewStages>(std::move(inner), preview);
}

int RunPreviewCommand(const Options& options) {
  const int dpi = options.previewDpi;
  if (options.previewWidth > MaxLabelWidthDots(dpi) || options.previewLength > MaxLabelLengthDots(dpi) ||
      (options.previewWidth == 0) != (options.previewLength == 0) ||
      (options.previewWidth > 0 && options.previewLength == 0)) {
    Complain("--label-size: a label is at most " + std::to_string(MaxLabelWidthDots(dpi)) + " x " +
             std::to_string(MaxLabelLengthDots(dpi)) + " dots at " + std::to_string(dpi) + " dpi");
    return kExitUsage;
  }
  // The sheet is made from the PNG pictures.
  if (!options.contactSheet.empty() && !IsPictureFolder(options.previewOut)) {
    Complain("--contact-sheet goes with -o FOLDER/, not with a PDF file");
    return kExitUsage;
  }
  const int fd = ::open(options.previewJob.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Complain("cannot read the job " + options.previewJob + ": " + std::strerror(errno));
    return kExitUsage;
  }
  const JobFile job(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    Complain("cannot read the job " + options.previewJob + ": it is a folder, not a job file");
    return kExitUsage;
  }
  try {
    // Known by what it is, not by its name: no other name of it may be
    // written over while it is read.
    const posix::FileIdentity jobIdentity{st.st_dev, st.st_ino};
    std::optional<posix::ContactSheet> sheet;
    if (!options.contactSheet.empty()) sheet.emplace(options.contactSheet, jobIdentity);
    std::unique_ptr<LabelPictures> pictures =
        OpenPreviewPictures(options.previewOut, jobIdentity, sheet ? &*sheet : nullptr);
    EplPreview preview(*pictures, {dpi, options.previewWidth, options.previewLength});
    std::string block(64 * 1024, '\0');
    while (true) {
      const ssize_t n = ::read(fd, block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw PlatformError("cannot read the job " + options.previewJob + ": " + std::strerror(errno));
      if (n == 0) break;
      preview.Write(std::string_view(block.data(), static_cast<std::size_t>(n)));
    }
    preview.Finish();
    pictures->Finish();
    std::printf("%d labels drawn to %s\n", preview.labels(), options.previewOut.c_str());
    if (sheet) {
      sheet->Write();
      std::printf("contact sheet of %s%zu labels: %s\n", sheet->leftOut() > 0 ? "the first " : "", sheet->labels(),
                  options.contactSheet.c_str());
    }
    return ReportPreviewNotes(preview, options.previewJob);
  } catch (const PlatformError& e) {
    Complain(e.what());
    return kExitError;
  }
}

}  // namespace imptherm::cli
