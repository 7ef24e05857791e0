#include "platform/posix/cups_printers.h"

#include <cups/cups.h>

#include <algorithm>
#include <thread>

#include "platform/error.h"
#include "platform/posix/interrupt.h"

namespace imptherm::posix {
namespace {

using namespace std::chrono_literals;

constexpr char kEplFormat[] = "application/vnd.eltron-epl";

std::string CupsFailure(const std::string& what, const std::string& printer) {
  return what + " " + printer + ": " + cupsLastErrorString();
}

// One destination of the server libcups is pointed at, with what it
// supports, over a connection of its own: a job's request stays open on it
// while the job's pieces arrive.
class Destination {
 public:
  Destination() = default;
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;
  ~Destination() {
    if (info) cupsFreeDestInfo(info);
    if (dest) cupsFreeDests(1, dest);
    if (http) httpClose(http);
  }

  // False, with libcups' last error set, when the server or the printer
  // cannot be reached.
  bool Open(const std::string& printer) {
    http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (http) dest = cupsGetNamedDest(http, printer.c_str(), nullptr);
    if (dest) info = cupsCopyDestInfo(http, dest);
    return info != nullptr;
  }

  JobInput Input() {
    ipp_attribute_t* formats = cupsFindDestSupported(http, dest, info, "document-format");
    if (formats && ippContainsString(formats, kEplFormat)) return JobInput::Epl2;
    if (formats && ippContainsString(formats, CUPS_FORMAT_RAW)) return JobInput::Raw;
    return JobInput::Neither;
  }

  http_t* http = nullptr;
  cups_dest_t* dest = nullptr;
  cups_dinfo_t* info = nullptr;
};

struct JobStatus {
  ipp_jstate_t state = IPP_JSTATE_PENDING;
  std::string reasons;  // job-state-reasons, and the printer's message when it gave one
  bool known = false;   // false when the server could not be asked
};

JobStatus AskJob(Destination& d, const std::string& printer, int jobId) {
  const char* uri = cupsGetOption("printer-uri-supported", d.dest->num_options, d.dest->options);
  const std::string printerUri = uri ? uri : "ipp://localhost/printers/" + printer;
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, printerUri.c_str(), scheme, sizeof scheme, user, sizeof user, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return {};
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri.c_str());
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  const char* wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
  ipp_t* answer = cupsDoRequest(d.http, request, resource);
  JobStatus status;
  if (ipp_attribute_t* state = ippFindAttribute(answer, "job-state", IPP_TAG_ENUM)) {
    status.known = true;
    status.state = static_cast<ipp_jstate_t>(ippGetInteger(state, 0));
    if (ipp_attribute_t* reasons = ippFindAttribute(answer, "job-state-reasons", IPP_TAG_KEYWORD))
      for (int i = 0; i < ippGetCount(reasons); ++i)
        status.reasons += (i ? ", " : "") + std::string(ippGetString(reasons, i, nullptr));
    ipp_attribute_t* message = ippFindAttribute(answer, "job-printer-state-message", IPP_TAG_TEXT);
    if (const char* text = message ? ippGetString(message, 0, nullptr) : nullptr; text && *text)
      status.reasons = text + (status.reasons.empty() ? "" : " (" + status.reasons + ")");
  }
  ippDelete(answer);
  return status;
}

const char* StateName(ipp_jstate_t state) {
  switch (state) {
    case IPP_JSTATE_PENDING: return "pending";
    case IPP_JSTATE_HELD: return "held";
    case IPP_JSTATE_PROCESSING: return "processing";
    case IPP_JSTATE_STOPPED: return "stopped";
    default: return "unknown";
  }
}

// One job of one document whose bytes no filter changes: EPL2 by name for a
// printer that takes it so, raw otherwise.
class CupsRawDocument final : public RawDocument {
 public:
  CupsRawDocument(std::string printer, std::unique_ptr<Destination> d, int jobId, std::set<std::string>& waiting,
                  std::chrono::milliseconds limit)
      : printer_(std::move(printer)), d_(std::move(d)), jobId_(jobId), waiting_(waiting), limit_(limit) {}
  ~CupsRawDocument() override {
    if (ended_) return;
    // The request must be closed before the job can be cancelled.
    cupsFinishDestDocument(d_->http, d_->dest, d_->info);
    cupsCancelDestJob(d_->http, d_->dest, jobId_);
  }

  void Write(const std::string& bytes) override {
    if (bytes.empty()) return;
    if (cupsWriteRequestData(d_->http, bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE)
      throw PlatformError(CupsFailure("cannot send the job to", printer_));
  }

  std::string End() override {
    ended_ = true;
    if (cupsFinishDestDocument(d_->http, d_->dest, d_->info) != IPP_STATUS_OK)
      throw PlatformError(CupsFailure("the job was not accepted by", printer_));
    return Follow();
  }

 private:
  // A scheduler with a local backend ends a job within milliseconds, so the
  // first looks come soon; the pauses then grow, so that a slow printer
  // costs few requests.
  std::string Follow() {
    const auto limit = waiting_.count(printer_) ? 0ms : limit_;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = 2ms;
    const std::string job = "job " + std::to_string(jobId_) + " on " + printer_;
    for (;;) {
      const JobStatus s = AskJob(*d_, printer_, jobId_);
      if (!s.known) return job + " was sent; its state cannot be asked: " + cupsLastErrorString();
      if (s.state == IPP_JSTATE_COMPLETED) {
        waiting_.erase(printer_);
        return "";
      }
      if (s.state == IPP_JSTATE_ABORTED || s.state == IPP_JSTATE_CANCELED)
        throw PrintJobFailed(job + (s.state == IPP_JSTATE_ABORTED ? " aborted: " : " canceled: ") +
                             (s.reasons.empty() ? "no reason given" : s.reasons));
      const auto now = std::chrono::steady_clock::now();
      // A held job waits for a person: nothing is gained by waiting here.
      if (now >= deadline || s.state == IPP_JSTATE_HELD) {
        waiting_.insert(printer_);
        return job + " is queued, still " + StateName(s.state) + (s.reasons.empty() ? "" : " (" + s.reasons + ")");
      }
      ThrowIfInterrupted();
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, 250ms);
    }
  }

  std::string printer_;
  std::unique_ptr<Destination> d_;
  int jobId_;
  std::set<std::string>& waiting_;
  std::chrono::milliseconds limit_;
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

JobInput CupsPrinters::InputOf(const std::string& printer) {
  Destination d;
  return d.Open(printer) ? d.Input() : JobInput::Neither;
}

std::unique_ptr<RawDocument> CupsPrinters::StartRawDocument(const std::string& printer, const std::string& title) {
  auto d = std::make_unique<Destination>();
  if (!d->Open(printer)) throw PlatformError(CupsFailure("cannot reach", printer));
  // The bytes are the same either way: only the name given to them differs,
  // so that a printer application passes them on instead of refusing them.
  const char* format = d->Input() == JobInput::Epl2 ? kEplFormat : CUPS_FORMAT_RAW;
  int jobId = 0;
  if (cupsCreateDestJob(d->http, d->dest, d->info, &jobId, title.c_str(), 0, nullptr) != IPP_STATUS_OK || jobId == 0)
    throw PlatformError(CupsFailure("cannot start a job on", printer));
  if (cupsStartDestDocument(d->http, d->dest, d->info, jobId, title.c_str(), format, 0, nullptr, 1) !=
      HTTP_STATUS_CONTINUE) {
    const std::string failure = CupsFailure("cannot start a document on", printer);
    cupsCancelDestJob(d->http, d->dest, jobId);
    throw PlatformError(failure);
  }
  return std::make_unique<CupsRawDocument>(printer, std::move(d), jobId, waiting_, jobWaitLimit);
}

}  // namespace imptherm::posix
