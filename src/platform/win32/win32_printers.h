#pragma once
#include "platform/printing.h"

namespace imptherm::win32 {

// The installed printers as the spooler lists them.
class Win32Printers final : public Printers {
 public:
  std::vector<std::string> List() override;
  std::string DefaultPrinter() override;
  std::unique_ptr<RawDocument> StartRawDocument(const std::string& printer, const std::string& title) override;
};

}  // namespace imptherm::win32
