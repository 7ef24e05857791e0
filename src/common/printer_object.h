#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/printing.h"

namespace imptherm {

// The process-wide printer object: the installed printers with one current
// printer. The "WIN" channel and the sheet path share it, so a printer chosen
// by one stays current for the other.
class PrinterObject {
 public:
  explicit PrinterObject(Printers& printers) : printers_(printers) {}

  // The installed printers, read anew from the system every time.
  std::vector<std::string> InstalledPrinters() { return printers_.List(); }
  void SelectPrinter(const std::string& name) { current_ = name; }
  void SelectDefault() { current_ = printers_.DefaultPrinter(); }
  // The current printer; the system default until one is selected.
  std::string Current() {
    if (current_.empty()) SelectDefault();
    return current_;
  }
  // A raw document on the current printer; ended by its End, cancelled when
  // dropped before.
  std::unique_ptr<RawDocument> BeginRawDocument(const std::string& title) {
    return printers_.StartRawDocument(Current(), title);
  }

 private:
  Printers& printers_;
  std::string current_;
};

}  // namespace imptherm
