#include "retrieval/retrieval.h"

#include "base/text.h"
#include "common/logs.h"
#include "platform/error.h"
#include "platform/network_messages.h"
#include "platform/output_file.h"
#include "retrieval/label_data.h"

namespace imptherm {
namespace {

// The body of the final answer, written as it arrives.
class FileSink final : public BodySink {
 public:
  FileSink(System& system, std::string path) : system_(system), path_(std::move(path)) { Restart(); }
  void Restart() override { file_ = system_.OpenOutputFile(path_, OpenMode::Empty); }
  void Write(std::string_view bytes) override { file_->Write(bytes); }
  void Close() {
    auto file = std::move(file_);
    if (file) file->Close();
  }

 private:
  System& system_;
  std::string path_;
  std::unique_ptr<OutputFile> file_;
};

class BusyCursor {
 public:
  explicit BusyCursor(UserInterface& ui) : ui_(ui) { ui_.SetBusyCursor(true); }
  ~BusyCursor() { ui_.SetBusyCursor(false); }

 private:
  UserInterface& ui_;
};

std::string WithoutLineBreaks(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool pair = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    out.push_back(pair ? '-' : text[i]);
    i += pair;
  }
  return out;
}

}  // namespace

Retrieval::Retrieval(Platform& platform, RunState& state, RunLog& runLog)
    : platform_(platform), state_(state), runLog_(runLog), client_(platform.network, platform.ntlm, platform.system) {}

// Error texts often quote the server (its status line, a header value).
void Retrieval::Fail(const std::string& text) {
  platform_.ui.ShowMessage(VisibleControls(text) + " -> ", MessageIcon::Error);
  runLog_.Write(WithoutLineBreaks(text));
}

int Retrieval::HttpExchange(const std::string& method, const std::string& url, const std::string& file,
                            const std::string& extraHeader, Memo& memo) {
  BusyCursor busy(platform_.ui);
  HttpRequest request;
  request.url = url.find("http://") == std::string::npos ? "http://" + url : url;
  if (!extraHeader.empty()) request.headers.push_back(extraHeader);
  request.proxy = ParseProxyAddress(state_.Proxy.proxyHttp);
  request.credentials = this;
  request.echo = &memo;
  memo.Clear();

  RunLog& log = runLog_;
  const UrlParts parts = SplitUrl(url);
  log.Write("Debut du transfert ... (" + url + ")");
  log.Write("Site  [" + parts.site + "]");
  log.Write("Port  [" + parts.port + "]");
  log.Write("Path  [" + parts.path + "]");
  if (request.proxy.used()) {
    log.Write("Proxy [" + request.proxy.host + "]");
    log.Write("PxPrt [" + std::to_string(request.proxy.port) + "]");
  } else {
    log.Write("Pas de Proxy");
  }
  log.Write("Cookie[" + extraHeader + "]");
  const std::uint32_t start = platform_.system.TickCount();
  log.Write("___" + method + "___");
  log.Write("Fichier : " + file);

  try {
    FileSink sink(platform_.system, file);
    request.body = &sink;
    const HttpResult result = client_.Get(request);
    sink.Close();
    log.Write("Http code : " + std::to_string(result.status));
    log.Write("Length of data : " + std::to_string(result.announcedSize));
    log.Write("Getting in : " + std::to_string(platform_.system.TickCount() - start) + " ms");
    return result.status;
  } catch (const HttpFailure& failure) {
    if (!failure.quiet()) Fail(failure.what());
  } catch (const PlatformError& error) {
    Fail(error.what());
  }
  return 0;
}

LabelData Retrieval::DownloadLabelData(const std::string& url, const std::string& cookie, Memo& memo) {
  const std::string folder = TempFolder(platform_.system);
  runLog_.SetWorkFolder(folder);
  const std::string path = folder + "DataThermOrvane.txt";
  const std::string cookieLine = cookie.empty() ? "" : "Cookie: " + cookie;
  if (HttpExchange("GET", url, path, cookieLine, memo) != 200) return {};
  LabelFileResult file = ReadLabelDataFile(path);
  return LabelData{file.accepted, std::move(file.lines), std::move(file.header)};
}

HttpCredentials Retrieval::ApplyProxyCredentials() {
  ProxySettings& proxy = state_.Proxy;
  if (proxy.proxyUser.empty() && proxy.proxyPassword.empty()) {
    if (!dialog_) dialog_.emplace();
    dialog_->domain = proxy.proxyDomaine;
    platform_.proxyDialog.Show(*dialog_);
    proxy.proxyDomaine = dialog_->domain;
    proxy.proxyUser = dialog_->user;
    proxy.proxyPassword = dialog_->password;
  }
  return {proxy.proxyDomaine.empty() ? proxy.proxyUser : proxy.proxyDomaine + "\\" + proxy.proxyUser,
          proxy.proxyPassword};
}

// Whichever side asked, the step is the same: the proxy credentials, logged
// without the password.
HttpCredentials Retrieval::ProxyCredentials(const std::string& scheme) {
  HttpCredentials credentials = ApplyProxyCredentials();
  runLog_.Write(messages::AuthenticationAsked(scheme));
  runLog_.WriteSecret("ProxyUsername : ", credentials.user);
  return credentials;
}

}  // namespace imptherm
