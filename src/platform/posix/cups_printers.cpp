#include "platform/posix/cups_printers.h"

#include <strings.h>

#include <algorithm>
#include <thread>

#include "platform/error.h"
#include "platform/posix/cups_library.h"
#include "platform/posix/interrupt.h"

namespace imptherm::posix {
namespace {

using namespace std::chrono_literals;

constexpr char kEplFormat[] = "application/vnd.eltron-epl";

// The server libcups is pointed at (CUPS_SERVER, or the system's), as a
// person would name it.
std::string ServerName() {
  const std::string host = Cups().cupsServer();
  return !host.empty() && host.front() == '/' ? host : host + ":" + std::to_string(Cups().ippPort());
}

std::string Seconds(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  return std::to_string(ms / 1000) + (ms % 1000 ? "." + std::to_string(ms % 1000 / 100) : "") + " s";
}

// A connection to the print server whose every wait is bounded: the server
// has `limits.connect` to accept it and `limits.answer` for each answer, and
// a stop ends either wait at once (libcups watches the interrupt flag while
// it connects and asks OnWait every tenth of a second while it waits; the
// interrupt shuts the socket down for the waits it does not ask about).
class ServerConnection {
 public:
  explicit ServerConnection(const CupsPrinters::Limits& limits) : limits_(limits) {}
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;
  ~ServerConnection() {
    if (!http) return;
    ShutDownOnInterrupt(-1);
    Cups().httpClose(http);
  }

  // Raises RunAbandoned on a stop, PlatformError naming the server when it
  // cannot be reached.
  void Open() {
    http = Cups().httpConnect2(Cups().cupsServer(), Cups().ippPort(), nullptr, AF_UNSPEC, Cups().cupsEncryption(), 1,
                               static_cast<int>(limits_.connect.count()), InterruptFlag());
    ThrowIfInterrupted();
    if (!http)
      throw PlatformError("the print server " + ServerName() + " cannot be reached: " + Cups().cupsLastErrorString());
    Cups().httpSetTimeout(http, 0.1, OnWait, this);
    ShutDownOnInterrupt(Cups().httpGetFd(http));
  }

  // Starts the wait for the next answer.
  void Expect() {
    silent_ = false;
    deadline_ = std::chrono::steady_clock::now() + limits_.answer;
  }

  // After a call that failed: RunAbandoned on a stop; otherwise why it
  // failed, the server's silence named as such.
  std::string Failure() const {
    ThrowIfInterrupted();
    if (silent_) return "the print server " + ServerName() + " did not answer within " + Seconds(limits_.answer);
    return Cups().cupsLastErrorString();
  }

  http_t* http = nullptr;

 private:
  static int OnWait(http_t*, void* self) {
    auto& c = *static_cast<ServerConnection*>(self);
    if (InterruptRequested()) return 0;
    if (std::chrono::steady_clock::now() < c.deadline_) return 1;
    c.silent_ = true;
    return 0;
  }

  CupsPrinters::Limits limits_;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now();
  bool silent_ = false;
};

// One destination of the server, with what it supports, over a connection
// of its own: a job's request stays open on it while the job's pieces arrive.
class Destination {
 public:
  explicit Destination(const CupsPrinters::Limits& limits) : server(limits) {}
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;
  ~Destination() {
    if (info) Cups().cupsFreeDestInfo(info);
    if (dest) Cups().cupsFreeDests(1, dest);
  }

  // False, with Failure set, when the server or the printer cannot be
  // reached; raises RunAbandoned on a stop.
  bool Open(const std::string& printer) {
    try {
      server.Open();
    } catch (const PlatformError& e) {
      failure_ = e.what();
      return false;
    }
    server.Expect();
    dest = Cups().cupsGetNamedDest(http(), printer.c_str(), nullptr);
    if (dest) {
      server.Expect();
      info = Cups().cupsCopyDestInfo(http(), dest);
    }
    if (!info) failure_ = server.Failure();
    return info != nullptr;
  }

  JobInput Input() {
    ipp_attribute_t* formats = Cups().cupsFindDestSupported(http(), dest, info, "document-format");
    if (formats && Cups().ippContainsString(formats, kEplFormat)) return JobInput::Epl2;
    if (formats && Cups().ippContainsString(formats, CUPS_FORMAT_RAW)) return JobInput::Raw;
    return JobInput::Neither;
  }

  // Why the last call failed, for the printer named; RunAbandoned on a stop.
  std::string Failure(const std::string& what, const std::string& printer) {
    return what + " " + printer + ": " + (failure_.empty() ? server.Failure() : failure_);
  }

  http_t* http() const { return server.http; }

  ServerConnection server;
  cups_dest_t* dest = nullptr;
  cups_dinfo_t* info = nullptr;

 private:
  std::string failure_;  // why Open failed
};

struct JobStatus {
  ipp_jstate_t state = IPP_JSTATE_PENDING;
  std::string reasons;  // job-state-reasons, and the printer's message when it gave one
  bool known = false;   // false when the server could not be asked
};

JobStatus AskJob(Destination& d, const std::string& printer, int jobId) {
  const char* uri = Cups().cupsGetOption("printer-uri-supported", d.dest->num_options, d.dest->options);
  const std::string printerUri = uri ? uri : "ipp://localhost/printers/" + printer;
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (Cups().httpSeparateURI(HTTP_URI_CODING_ALL, printerUri.c_str(), scheme, sizeof scheme, user, sizeof user, host,
                             sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return {};
  ipp_t* request = Cups().ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri.c_str());
  Cups().ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, Cups().cupsUser());
  const char* wanted[] = {"job-state", "job-state-reasons", "job-printer-state-message"};
  Cups().ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
  d.server.Expect();
  ipp_t* answer = Cups().cupsDoRequest(d.http(), request, resource);
  JobStatus status;
  if (ipp_attribute_t* state = Cups().ippFindAttribute(answer, "job-state", IPP_TAG_ENUM)) {
    status.known = true;
    status.state = static_cast<ipp_jstate_t>(Cups().ippGetInteger(state, 0));
    if (ipp_attribute_t* reasons = Cups().ippFindAttribute(answer, "job-state-reasons", IPP_TAG_KEYWORD))
      for (int i = 0; i < Cups().ippGetCount(reasons); ++i)
        status.reasons += (i ? ", " : "") + std::string(Cups().ippGetString(reasons, i, nullptr));
    ipp_attribute_t* message = Cups().ippFindAttribute(answer, "job-printer-state-message", IPP_TAG_TEXT);
    if (const char* text = message ? Cups().ippGetString(message, 0, nullptr) : nullptr; text && *text)
      status.reasons = text + (status.reasons.empty() ? "" : " (" + status.reasons + ")");
  }
  Cups().ippDelete(answer);
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
    d_->server.Expect();
    Cups().cupsFinishDestDocument(d_->http(), d_->dest, d_->info);
    d_->server.Expect();
    Cups().cupsCancelDestJob(d_->http(), d_->dest, jobId_);
  }

  void Write(const std::string& bytes) override {
    if (bytes.empty()) return;
    d_->server.Expect();
    if (Cups().cupsWriteRequestData(d_->http(), bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE)
      throw PlatformError(d_->Failure("cannot send the job to", printer_));
  }

  std::string End() override {
    ended_ = true;
    d_->server.Expect();
    if (Cups().cupsFinishDestDocument(d_->http(), d_->dest, d_->info) != IPP_STATUS_OK)
      throw PlatformError(d_->Failure("the job was not accepted by", printer_));
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
      if (!s.known) return job + " was sent; its state cannot be asked: " + d_->server.Failure();
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

// One request at a time, each followed by a look at the flag: libcups would
// connect again for the next request after a stop ended a wait.
CupsPrinters::Listed CupsPrinters::Ask() {
  ServerConnection server(limits);
  server.Open();
  auto failed = [&] {
    // No destination is an answer of its own: an empty list is no printer.
    const ipp_status_t status = Cups().cupsLastError();
    return status >= IPP_STATUS_REDIRECTION_OTHER_SITE && status != IPP_STATUS_ERROR_NOT_FOUND;
  };
  ipp_t* request = Cups().ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
  Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, Cups().cupsUser());
  server.Expect();
  ipp_t* answer = Cups().cupsDoRequest(server.http, request, "/");
  if (failed()) {
    Cups().ippDelete(answer);
    throw PlatformError("the printers of " + ServerName() + " cannot be listed: " + server.Failure());
  }
  Listed listed;
  for (ipp_attribute_t* a = Cups().ippFindAttribute(answer, "printer-name", IPP_TAG_NAME); a;
       a = Cups().ippFindNextAttribute(answer, "printer-name", IPP_TAG_NAME))
    listed.names.emplace_back(Cups().ippGetString(a, 0, nullptr));
  Cups().ippDelete(answer);
  // The order libcups lists them in: by name, without regard to letter case.
  std::stable_sort(listed.names.begin(), listed.names.end(),
                   [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  if (listed.names.empty()) return listed;
  ThrowIfInterrupted();
  server.Expect();
  const char* byDefault = Cups().cupsGetDefault2(server.http);
  if (!byDefault && failed())
    throw PlatformError("the default printer of " + ServerName() + " cannot be asked: " + server.Failure());
  if (byDefault) listed.byDefault = byDefault;
  return listed;
}

std::vector<std::string> CupsPrinters::List() { return Ask().names; }

std::string CupsPrinters::DefaultPrinter() { return Ask().byDefault; }

JobInput CupsPrinters::InputOf(const std::string& printer) {
  Destination d(limits);
  return d.Open(printer) ? d.Input() : JobInput::Neither;
}

std::unique_ptr<RawDocument> CupsPrinters::StartRawDocument(const std::string& printer, const std::string& title) {
  auto d = std::make_unique<Destination>(limits);
  if (!d->Open(printer)) throw PlatformError(d->Failure("cannot reach", printer));
  // The bytes are the same either way: only the name given to them differs,
  // so that a printer application passes them on instead of refusing them.
  const char* format = d->Input() == JobInput::Epl2 ? kEplFormat : CUPS_FORMAT_RAW;
  int jobId = 0;
  d->server.Expect();
  if (Cups().cupsCreateDestJob(d->http(), d->dest, d->info, &jobId, title.c_str(), 0, nullptr) != IPP_STATUS_OK ||
      jobId == 0)
    throw PlatformError(d->Failure("cannot start a job on", printer));
  d->server.Expect();
  if (Cups().cupsStartDestDocument(d->http(), d->dest, d->info, jobId, title.c_str(), format, 0, nullptr, 1) !=
      HTTP_STATUS_CONTINUE) {
    const std::string failure = d->Failure("cannot start a document on", printer);
    d->server.Expect();
    Cups().cupsCancelDestJob(d->http(), d->dest, jobId);
    throw PlatformError(failure);
  }
  return std::make_unique<CupsRawDocument>(printer, std::move(d), jobId, waiting_, jobWaitLimit);
}

}  // namespace imptherm::posix
