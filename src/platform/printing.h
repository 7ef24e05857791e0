#pragma once
#include <string>
#include <vector>

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

}  // namespace imptherm
