#pragma once
#include <chrono>
#include <set>

#include "platform/printing.h"

namespace imptherm::posix {

// The printers that the CUPS server (CUPS_SERVER, or the system's) lists. A
// printer application such as LPrint is such a server too. A server that
// cannot be reached, or does not answer within the limits, raises
// PlatformError naming it (never an empty list); a stop raises RunAbandoned.
class CupsPrinters final : public Printers {
 public:
  std::vector<std::string> List() override;
  std::string DefaultPrinter() override;
  // A job as EPL2 (application/vnd.eltron-epl) where the destination lists
  // it among its document formats, otherwise raw (application/vnd.cups-raw).
  std::unique_ptr<RawDocument> StartRawDocument(const std::string& printer, const std::string& title) override;
  JobInput InputOf(const std::string& printer) override;

  // How long End follows a job that has not ended yet.
  std::chrono::milliseconds jobWaitLimit{30000};
  // The waits on the server: to accept a connection, and for each answer.
  struct Limits {
    std::chrono::milliseconds connect{10000};
    std::chrono::milliseconds answer{30000};
  } limits;

 private:
  struct Listed {
    std::vector<std::string> names;
    std::string byDefault;
  };
  // The printers and the default one, in one exchange with the server.
  Listed Ask();

  // Printers whose last job was still waiting when the limit ran out: their
  // next jobs are looked at once instead of waited for, so a stopped queue
  // costs the wait once per run and not once per job.
  std::set<std::string> waiting_;
};

}  // namespace imptherm::posix
