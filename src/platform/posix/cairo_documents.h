#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/label_pictures.h"
#include "platform/posix/contact_sheet.h"
#include "platform/posix/posix_output_file.h"
#include "platform/printing.h"

namespace imptherm::posix {

// The resolution taken when the printer reports none, and for PDF files.
inline constexpr int kDefaultPrinterResolution = 300;
// Sheets are A4 pages. Drawing starts this far from the top left corner of
// the paper, where a page printer's printable area usually begins.
inline constexpr double kPageWidthPoints = 595.276;
inline constexpr double kPageHeightPoints = 841.89;
inline constexpr double kPrintableOffsetInches = 0.2;

// Drawn documents with cairo: each document becomes one PDF, handed to CUPS
// as one job, or written to `pdfPath` when it is set (no printer needed).
// The faces "MS Sans Serif" and "MS Serif" are drawn with Liberation Sans and
// Liberation Serif. Those have the metrics of Arial and Times New Roman, not
// of the two bitmap faces: a text clipped at its cell's edge may be cut a
// character earlier or later than on Windows.
class CairoDocuments final : public DrawnDocuments {
 public:
  explicit CairoDocuments(std::string pdfPath = "") : pdfPath_(std::move(pdfPath)) {}
  // The printer-resolution default that CUPS reports for the printer; 300
  // dpi when it reports none, and always for a PDF file.
  Resolution PrinterResolution(const std::string& printer) override;
  std::unique_ptr<DrawnDocument> StartDocument(const std::string& printer, const std::string& title) override;

 private:
  std::string pdfPath_;
};

// Label pictures as one PDF, a page per label of the label's own size.
// Like the PNG files below, it is opened as OpenOutputFile opens the
// system's files (a symbolic link is refused, not followed), and never when
// it is `notThis` (the job being drawn).
std::unique_ptr<LabelPictures> OpenLabelPdf(const std::string& path,
                                            std::optional<FileIdentity> notThis = std::nullopt);
// Label pictures as PNG files in `folder` (label-0001.png, ...; a label
// printed several times: label-0002-x3.png), one pixel per printer dot,
// black and white as the print head draws them; each also goes to `sheet`
// when there is one.
std::unique_ptr<LabelPictures> OpenLabelPngFolder(const std::string& folder,
                                                  std::optional<FileIdentity> notThis = std::nullopt,
                                                  ContactSheet* sheet = nullptr);

// The font family that stands in for a Windows face name.
std::string FontFamilyFor(const std::string& face);

}  // namespace imptherm::posix
