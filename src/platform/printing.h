#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"

namespace imptherm {

// A document on one printer whose bytes reach the printer exactly as they
// are written: no driver or filter looks at them. Failures raise
// PlatformError; a document destroyed before End is cancelled.
class RawDocument {
 public:
  virtual ~RawDocument() = default;
  // Hands one piece of the document to the printer.
  virtual void Write(const std::string& bytes) = 0;
  // Ends the document: the printer may print it. Where the system reports
  // what became of the job, End waits (bounded) for its end: empty when it
  // was printed, otherwise why it still waits in the queue (queued is not
  // failed). A job the printer aborted or cancelled raises PrintJobFailed.
  virtual std::string End() = 0;
};

// How a destination takes a label job's bytes.
enum class JobInput {
  Epl2,     // as EPL2 by name: the printer's own language, passed on byte for byte
  Raw,      // as raw data that no filter looks at
  Neither,  // only documents it renders itself (a page printer)
};

// The machine's installed printers. Raw jobs and drawn documents are added
// by the output and sheet stages.
class Printers {
 public:
  virtual ~Printers() = default;
  // Printer names in the order the system lists them.
  virtual std::vector<std::string> List() = 0;
  // The system default printer's name; empty when there is none.
  virtual std::string DefaultPrinter() = 0;
  // Starts a raw document with this title on the named printer.
  virtual std::unique_ptr<RawDocument> StartRawDocument(const std::string& printer, const std::string& title) = 0;
  // How the named printer takes a label job. A system that hands every raw
  // document to the printer's driver as it is answers Raw.
  virtual JobInput InputOf(const std::string&) { return JobInput::Raw; }
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
