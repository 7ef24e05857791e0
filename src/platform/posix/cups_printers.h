#pragma once
#include "platform/printing.h"

namespace imptherm::posix {

// The printers that the CUPS server (CUPS_SERVER, or the system's) lists.
class CupsPrinters final : public Printers {
 public:
  std::vector<std::string> List() override;
  std::string DefaultPrinter() override;
  // A job in CUPS' raw format (application/vnd.cups-raw).
  std::unique_ptr<RawDocument> StartRawDocument(const std::string& printer, const std::string& title) override;
};

}  // namespace imptherm::posix
