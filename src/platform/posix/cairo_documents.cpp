#include "platform/posix/cairo_documents.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/cp1252.h"
#include "platform/error.h"
#include "platform/posix/cairo_canvas.h"
#include "platform/posix/cups_library.h"
#include "platform/posix/dot_canvas.h"
#include "platform/posix/one_bit_png.h"
#include "platform/posix/posix_output_file.h"

namespace imptherm::posix {
namespace {

// A PDF file being drawn: its surface, its drawing context and, once the
// owner makes it, the canvas over them. `what` names the file in errors.
class PdfFile {
 public:
  PdfFile(const std::string& path, double widthPoints, double heightPoints, const std::string& what)
      : what_(what + " " + path) {
    Start(cairo_pdf_surface_create(path.c_str(), widthPoints, heightPoints));
  }
  // Written through `file`, which the caller opened by its own rules.
  PdfFile(std::unique_ptr<OutputFile> file, const std::string& path, double widthPoints, double heightPoints,
          const std::string& what)
      : what_(what + " " + path), file_(std::move(file)) {
    Start(cairo_pdf_surface_create_for_stream(&PdfFile::WriteOut, this, widthPoints, heightPoints));
  }
  ~PdfFile() { Finish(); }
  PdfFile(const PdfFile&) = delete;
  PdfFile& operator=(const PdfFile&) = delete;

  // Writes the rest of the file out; once only.
  cairo_status_t Finish() {
    if (!surface) return CAIRO_STATUS_SUCCESS;
    if (canvas) canvas->Flush();
    canvas.reset();
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    surface = nullptr;
    if (file_ && writeError_.empty()) {
      try {
        file_->Close();
      } catch (const PlatformError& e) {
        writeError_ = e.what();
      }
    }
    file_.reset();
    return writeError_.empty() ? status : CAIRO_STATUS_WRITE_ERROR;
  }
  void FinishOrRaise() {
    if (const cairo_status_t status = Finish(); status != CAIRO_STATUS_SUCCESS)
      throw PlatformError(!writeError_.empty() ? writeError_
                                               : "cannot write " + what_ + ": " + cairo_status_to_string(status));
  }

  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  std::unique_ptr<CairoCanvas> canvas;

 private:
  void Start(cairo_surface_t* made) {
    surface = made;
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      const std::string why = cairo_status_to_string(cairo_surface_status(surface));
      cairo_surface_destroy(surface);
      surface = nullptr;
      throw PlatformError("cannot write " + what_ + ": " + why);
    }
    cr = cairo_create(surface);
  }
  // Cairo is C: the file's error waits here until the document is finished.
  static cairo_status_t WriteOut(void* closure, const unsigned char* data, unsigned int length) {
    auto* pdf = static_cast<PdfFile*>(closure);
    if (!pdf->writeError_.empty()) return CAIRO_STATUS_WRITE_ERROR;
    try {
      pdf->file_->Write(std::string_view(reinterpret_cast<const char*>(data), length));
    } catch (const PlatformError& e) {
      pdf->writeError_ = e.what();
      return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
  }

  std::string what_;
  std::unique_ptr<OutputFile> file_;
  std::string writeError_;
};

class CairoDocument final : public DrawnDocument {
 public:
  // printer empty: the PDF stays at `path`; otherwise it is a temporary file
  // that goes to the printer when the document ends.
  CairoDocument(std::string path, std::string printer, std::string title, int resX, int resY)
      : path_(std::move(path)),
        printer_(std::move(printer)),
        title_(std::move(title)),
        pdf_(path_, kPageWidthPoints, kPageHeightPoints, "the sheet document") {
    cairo_pdf_surface_set_metadata(pdf_.surface, CAIRO_PDF_METADATA_TITLE, Cp1252ToUtf8(title_).c_str());
    // Device pixels at the printer's resolution from the printable area on.
    cairo_translate(pdf_.cr, kPrintableOffsetInches * 72, kPrintableOffsetInches * 72);
    cairo_scale(pdf_.cr, 72.0 / resX, 72.0 / resY);
    pdf_.canvas = std::make_unique<CairoCanvas>(pdf_.cr, resX, resY);
  }
  // A document dropped before End is cancelled: no sheet of it is printed,
  // and no PDF of a run cut short is left behind.
  ~CairoDocument() override {
    pdf_.Finish();
    if (!printer_.empty() || !ended_) ::unlink(path_.c_str());
  }

  Canvas& page() override { return *pdf_.canvas; }
  void NewPage() override {
    pdf_.canvas->Flush();
    cairo_show_page(pdf_.cr);
  }

  void End() override {
    pdf_.FinishOrRaise();
    ended_ = true;
    if (printer_.empty()) return;
    if (Cups().cupsPrintFile2(CUPS_HTTP_DEFAULT, printer_.c_str(), path_.c_str(), title_.c_str(), 0, nullptr) == 0)
      throw PlatformError("the printer " + printer_ + " refused the sheets: " + Cups().cupsLastErrorString());
  }

 private:
  std::string path_, printer_, title_;
  PdfFile pdf_;
  bool ended_ = false;
};

// A label's page: white, the label's size, device pixels at its dots.
void StartLabelPage(cairo_t* cr, int widthDots, int heightDots, double scale) {
  cairo_identity_matrix(cr);
  cairo_scale(cr, scale, scale);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, 0, 0, widthDots, heightDots);
  cairo_fill(cr);
}

class LabelPdf final : public LabelPictures {
 public:
  LabelPdf(const std::string& path, std::optional<FileIdentity> notThis)
      : pdf_(OpenOutputFileBesides(path, OpenMode::Empty, notThis), path, 288, 432, "the preview") {}

  Canvas& StartLabel(int widthDots, int heightDots, int dotsPerInch) override {
    if (pages_++ > 0) cairo_show_page(pdf_.cr);
    const double scale = 72.0 / dotsPerInch;
    cairo_pdf_surface_set_size(pdf_.surface, widthDots * scale, heightDots * scale);
    StartLabelPage(pdf_.cr, widthDots, heightDots, scale);
    if (!pdf_.canvas || pdf_.canvas->ResolutionX() != dotsPerInch)
      pdf_.canvas = std::make_unique<CairoCanvas>(pdf_.cr, dotsPerInch, dotsPerInch);
    return *pdf_.canvas;
  }
  void EndLabel(int copies) override {
    CairoCanvas& canvas = *pdf_.canvas;
    if (copies > 1) {
      const int cell = canvas.ResolutionX() / 10;
      canvas.DrawCellText(cell / 2, cell / 2, std::to_string(copies) + " copies", cell * 3 / 5, cell, 0, kBlue);
    }
    canvas.Flush();
  }
  void Finish() override { pdf_.FinishOrRaise(); }

 private:
  PdfFile pdf_;
  int pages_ = 0;
};

// One image surface, kept while labels keep their size: a print run's labels
// are all alike.
class LabelPngs final : public LabelPictures {
 public:
  LabelPngs(std::string folder, std::optional<FileIdentity> notThis, ContactSheet* sheet)
      : folder_(std::move(folder)), png_(notThis), sheet_(sheet) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  }
  ~LabelPngs() override { Release(); }

  Canvas& StartLabel(int widthDots, int heightDots, int dotsPerInch) override {
    if (!surface_ || width_ != widthDots || height_ != heightDots || dpi_ != dotsPerInch) {
      Release();
      surface_ = cairo_image_surface_create(CAIRO_FORMAT_A1, widthDots, heightDots);
      if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        Release();
        throw PlatformError("cannot make a picture of " + std::to_string(widthDots) + " x " +
                            std::to_string(heightDots) + " dots");
      }
      cr_ = cairo_create(surface_);
      // A print head's dot is on or off.
      cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
      cairo_font_options_t* fo = cairo_font_options_create();
      cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_NONE);
      cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
      cairo_set_font_options(cr_, fo);
      cairo_font_options_destroy(fo);
      canvas_ = std::make_unique<DotCanvas>(surface_, cr_, dotsPerInch);
      width_ = widthDots, height_ = heightDots, dpi_ = dotsPerInch;
    }
    canvas_->Clear();
    return *canvas_;
  }
  void EndLabel(int copies) override {
    canvas_->ByBits();
    char name[48];
    if (copies > 1)
      std::snprintf(name, sizeof name, "label-%04d-x%d", ++count_, copies);
    else
      std::snprintf(name, sizeof name, "label-%04d", ++count_);
    png_.Write(folder_ + name + ".png", cairo_image_surface_get_data(surface_),
               cairo_image_surface_get_stride(surface_), width_, height_, dpi_);
    if (sheet_) sheet_->Add(surface_, dpi_, name);
  }
  void Finish() override { Release(); }

 private:
  void Release() {
    canvas_.reset();
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
    cr_ = nullptr;
    surface_ = nullptr;
  }
  std::string folder_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::unique_ptr<DotCanvas> canvas_;
  OneBitPng png_;
  ContactSheet* sheet_;
  int width_ = 0, height_ = 0, dpi_ = 0, count_ = 0;
};

std::string TemporaryPdf() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/impthermorvane-XXXXXX.pdf";
  const int fd = ::mkstemps(path.data(), 4);
  if (fd < 0) throw PlatformError("cannot create a temporary file for the sheets in " + path);
  ::close(fd);
  return path;
}

}  // namespace

std::unique_ptr<LabelPictures> OpenLabelPdf(const std::string& path, std::optional<FileIdentity> notThis) {
  return std::make_unique<LabelPdf>(path, notThis);
}
std::unique_ptr<LabelPictures> OpenLabelPngFolder(const std::string& folder, std::optional<FileIdentity> notThis,
                                                  ContactSheet* sheet) {
  return std::make_unique<LabelPngs>(folder, notThis, sheet);
}

std::string FontFamilyFor(const std::string& face) {
  if (face == "MS Sans Serif") return "Liberation Sans";
  if (face == "MS Serif") return "Liberation Serif";
  return face;
}

DrawnDocuments::Resolution CairoDocuments::PrinterResolution(const std::string& printer) {
  Resolution r{kDefaultPrinterResolution, kDefaultPrinterResolution};
  if (!pdfPath_.empty() || printer.empty()) return r;
  cups_dest_t* dests = nullptr;
  const int n = Cups().cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  if (cups_dest_t* dest = Cups().cupsGetDest(printer.c_str(), nullptr, n, dests)) {
    if (cups_dinfo_t* info = Cups().cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
      if (ipp_attribute_t* a = Cups().cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution")) {
        ipp_res_t units = IPP_RES_PER_INCH;
        int y = 0;
        const int x = Cups().ippGetResolution(a, 0, &y, &units);
        const double perInch = units == IPP_RES_PER_CM ? 2.54 : 1.0;
        if (x > 0 && y > 0)
          r = {static_cast<int>(std::lround(x * perInch)), static_cast<int>(std::lround(y * perInch))};
      }
      Cups().cupsFreeDestInfo(info);
    }
  }
  Cups().cupsFreeDests(n, dests);
  return r;
}

std::unique_ptr<DrawnDocument> CairoDocuments::StartDocument(const std::string& printer, const std::string& title) {
  const Resolution r = PrinterResolution(printer);
  if (!pdfPath_.empty()) return std::make_unique<CairoDocument>(pdfPath_, "", title, r.x, r.y);
  if (printer.empty())
    throw PlatformError("no printer to print the sheets on (--sheet-pdf FILE writes them to a file)");
  return std::make_unique<CairoDocument>(TemporaryPdf(), printer, title, r.x, r.y);
}

}  // namespace imptherm::posix
