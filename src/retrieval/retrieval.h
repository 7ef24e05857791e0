#pragma once
#include <optional>
#include <string>

#include "common/data_lines.h"
#include "common/logs.h"
#include "common/run_options.h"
#include "common/run_state.h"
#include "platform/platform.h"
#include "platform/proxy_dialog.h"
#include "retrieval/http_client.h"

namespace imptherm {

// What a download gives the driver: the data lines after the header, what
// the header said, and whether the exchange and the file read succeeded at
// all (an empty list from a good file is not a failed download).
struct LabelData {
  bool downloaded = false;
  DataLines lines;
  LabelFileHeader header;
};

// The label data retrieval of one module: the process's HTTP client with its
// cookies and kept connection, the proxy credentials step, and the label
// data download.
class Retrieval final : private ProxyCredentialsSource {
 public:
  Retrieval(Platform& platform, RunState& state, RunLog& runLog);

  // One GET of `url` into `file`. Returns the final status, or 0 after a
  // failure, which has then been shown in an error box and logged (except
  // when the server closed before its answer was complete).
  int HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                   const std::string& extraHeader, Memo& memo);
  LabelData DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo);

  // Takes the proxy credentials from the page or, when it gave neither user
  // nor password, from the dialog, which may change them for the rest of the
  // print run.
  HttpCredentials ApplyProxyCredentials();

  HttpClient& client() { return client_; }

 private:
  HttpCredentials ProxyCredentials(const std::string& scheme) override;
  void Fail(const std::string& text);

  Platform& platform_;
  RunState& state_;
  RunLog& runLog_;
  HttpClient client_;
  std::optional<ProxyDialogFields> dialog_;  // made on first need, kept for the process
};

}  // namespace imptherm
