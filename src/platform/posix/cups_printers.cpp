#include "platform/posix/cups_printers.h"

#include <cups/cups.h>

#include "platform/error.h"

namespace imptherm::posix {
namespace {

std::string CupsFailure(const std::string& what, const std::string& printer) {
  return what + " " + printer + ": " + cupsLastErrorString();
}

// One job of one document in CUPS' raw format: the scheduler hands the bytes
// to the queue's backend as they are, no filter runs.
class CupsRawDocument final : public RawDocument {
 public:
  CupsRawDocument(std::string printer, int jobId) : printer_(std::move(printer)), jobId_(jobId) {}
  ~CupsRawDocument() override {
    if (ended_) return;
    // The request must be closed before the job can be cancelled.
    cupsFinishDocument(CUPS_HTTP_DEFAULT, printer_.c_str());
    cupsCancelJob2(CUPS_HTTP_DEFAULT, printer_.c_str(), jobId_, 0);
  }

  void Write(const std::string& bytes) override {
    if (bytes.empty()) return;
    if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE)
      throw PlatformError(CupsFailure("cannot send the job to", printer_));
  }

  void End() override {
    ended_ = true;
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, printer_.c_str()) != IPP_STATUS_OK)
      throw PlatformError(CupsFailure("the job was not accepted by", printer_));
  }

 private:
  std::string printer_;
  int jobId_;
  bool ended_ = false;
};

}  // namespace

std::vector<std::string> CupsPrinters::List() {
  cups_dest_t* dests = nullptr;
  int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i)
    if (!dests[i].instance) names.emplace_back(dests[i].name);
  cupsFreeDests(n, dests);
  return names;
}

std::string CupsPrinters::DefaultPrinter() {
  cups_dest_t* dests = nullptr;
  int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::string name;
  if (cups_dest_t* d = cupsGetDest(nullptr, nullptr, n, dests)) name = d->name;
  cupsFreeDests(n, dests);
  return name;
}

std::unique_ptr<RawDocument> CupsPrinters::StartRawDocument(const std::string& printer, const std::string& title) {
  const int jobId = cupsCreateJob(CUPS_HTTP_DEFAULT, printer.c_str(), title.c_str(), 0, nullptr);
  if (jobId == 0) throw PlatformError(CupsFailure("cannot start a job on", printer));
  if (cupsStartDocument(CUPS_HTTP_DEFAULT, printer.c_str(), jobId, title.c_str(), CUPS_FORMAT_RAW, 1) !=
      HTTP_STATUS_CONTINUE) {
    cupsCancelJob2(CUPS_HTTP_DEFAULT, printer.c_str(), jobId, 0);
    throw PlatformError(CupsFailure("cannot start a document on", printer));
  }
  return std::make_unique<CupsRawDocument>(printer, jobId);
}

}  // namespace imptherm::posix
