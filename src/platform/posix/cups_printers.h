#pragma once
#include "platform/printing.h"

namespace imptherm::posix {

// The printers that the CUPS server (CUPS_SERVER, or the system's) lists.
class CupsPrinters final : public Printers {
 public:
  std::vector<std::string> List() override;
  std::string DefaultPrinter() override;
};

}  // namespace imptherm::posix
