#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace imptherm {

// The machine's installed printers. Raw jobs and drawn documents are added
// by the output and sheet stages.
class Printers {
 public:
  virtual ~Printers() = default;
  // Printer names in the order the system lists them.
  virtual std::vector<std::string> List() = 0;
  // The system default printer's name; empty when there is none.
  virtual std::string DefaultPrinter() = 0;
};

// Drawn documents (the sheet path): pages drawn on a canvas and printed as
// one job on a named printer.
class DrawnDocuments {
 public:
  virtual ~DrawnDocuments() = default;
  // The resolution the printer reports, in dots per inch (x, y); the
  // backend's documented default when it reports none.
  struct Resolution {
    int x = 0, y = 0;
  };
  virtual Resolution PrinterResolution(const std::string& printer) = 0;
  // Starts a document titled `title` on `printer`. Raises PlatformError when
  // it cannot be started.
  virtual std::unique_ptr<DrawnDocument> StartDocument(const std::string& printer, const std::string& title) = 0;
};

}  // namespace imptherm
