#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/config.h"
#include "bridge/runs.h"
#include "platform/printing.h"

namespace imptherm::bridge {

// Request bodies above this size are refused.
inline constexpr std::size_t kMaxBodySize = 64 * 1024;

// What the handler needs of an HTTP request; the server fills it from the
// parsed request, the tests write it directly.
struct BridgeRequest {
  std::string method;
  std::string target;
  std::string host;
  bool hasOrigin = false;
  std::string origin;
  std::string contentType;
  std::string body;
  bool bodyTooLarge = false;  // the server stopped reading at kMaxBodySize
  bool requestPrivateNetwork = false;
  bool requestLocalNetwork = false;
  // Why the process that sent it is not served (another user's, or one
  // whose user is unknown: peer_user.h); empty for the bridge user's own.
  std::string otherUser;
};

struct BridgeResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Set for an event stream: the server follows this run's events.
  std::shared_ptr<PrintRunEntry> eventsOf;
  // Set for the printer list, which the print server may keep waiting: the
  // server takes it off its own thread and answers with PrintersAnswer.
  bool listPrinters = false;
  std::string Header(const std::string& name) const;
};

// A refusal: `status` and a JSON body with its code and the reason.
BridgeResponse ErrorAnswer(int status, const std::string& code, const std::string& message);

struct PrinterEntry {
  std::string name;  // Windows-1252
  bool isDefault = false;
};
// The system's printers as `GET /v1/printers` lists them.
std::vector<PrinterEntry> ListPrinters(Printers& printers);

// A printer list, or why the print server gave none (Windows-1252).
struct PrinterListing {
  std::vector<PrinterEntry> printers;
  std::optional<std::string> error;
};
PrinterListing TakePrinterListing(const std::function<std::vector<PrinterEntry>()>& list);

// Answers the bridge's HTTP API. Single-threaded, on the server's thread.
class BridgeHandler {
 public:
  struct Setup {
    int port = kDefaultPort;
    std::string script;                           // the JavaScript client served at /impthermorvane.js
    std::function<void(const std::string&)> log;  // the bridge log, one line per refusal and per run
  };
  BridgeHandler(ConfigStore& config, RunQueue& queue, Setup setup);

  BridgeResponse Handle(const BridgeRequest& request);
  // The answer to a request that Handle left to the printer list.
  BridgeResponse PrintersAnswer(const BridgeRequest& request, const PrinterListing& listing);

 private:
  // A run that ended: its line in the bridge log.
  void LogOutcome(const PrintRunEntry& run);
  // `logHint` is added to the log line only, not to the answer.
  BridgeResponse Refuse(const BridgeRequest& request, int status, const std::string& code, const std::string& message,
                        bool cors, const std::string& logHint = "");
  BridgeResponse Route(const BridgeRequest& request, const OriginRule& rule);
  BridgeResponse StartRun(const BridgeRequest& request, const OriginRule& rule);

  ConfigStore& config_;
  RunQueue& queue_;
  Setup setup_;
};

}  // namespace imptherm::bridge
