#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net.h"
#include "platform/ntlm.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "retrieval/cookies.h"
#include "retrieval/http_response.h"
#include "retrieval/url.h"

namespace imptherm {

// Why an exchange ended without a final answer. Quiet failures (the server
// closed before its answer was complete) show no box and write no log line.
struct HttpFailure {
  std::string text;
  bool quiet = false;
};

// Receives the body of the final answer. Restart empties it again (after a
// redirect). Both may raise PlatformError.
class BodySink {
 public:
  virtual ~BodySink() = default;
  virtual void Restart() = 0;
  virtual void Write(std::string_view bytes) = 0;
};

// What the client asks of the system around authentication.
class HttpClientEvents {
 public:
  virtual ~HttpClientEvents() = default;
  // The first 407 of an exchange chose `scheme`; the handler may set the
  // client's proxy user name and password before the scheme takes them.
  virtual void ProxySchemeChosen(const std::string& scheme) = 0;
  // The scheme needs credentials the client does not hold; the exchange
  // fails afterwards whatever the handler does.
  virtual void ProxyCredentialsWanted(const std::string& scheme) = 0;
  virtual void ServerCredentialsWanted(const std::string& scheme) = 0;
};

// An HTTP/1.0 client that keeps one connection open between requests and
// exchanges when the server agrees, follows redirects, keeps cookies and
// answers Basic and NTLM challenges. One per process.
class HttpClient {
 public:
  static constexpr int kRedirectLimit = 15;
  static constexpr int kAuthenticationLimit = 3;
  static constexpr int kDropLimitMs = 4000;
  static constexpr int kErrorBodyLimitMs = 2000;
  // A silent server must not hold the print run forever, yet a slow line
  // still gets its answer: these bound connecting and each wait for a byte
  // of an answer or of the final body.
  static constexpr int kConnectLimitMs = 30000;
  static constexpr int kSilenceLimitMs = 120000;
  static constexpr std::size_t kBlock = 64 * 1024;
  static constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; ImpThermOrvane 1.0.0.20)";

  HttpClient(Network& network, Ntlm& ntlm, System& system, HttpClientEvents& events);
  ~HttpClient();

  std::vector<std::string> extraHeaders;
  std::string accept = "text/html, */*";
  std::string connection = "Keep-Alive";
  std::string contentType = "application/zip";
  ProxyAddress proxy;
  std::string proxyUser;
  std::string proxyPassword;
  Memo* echo = nullptr;
  int connectLimitMs = kConnectLimitMs;
  int silenceLimitMs = kSilenceLimitMs;
  int lastStatus = 0;
  std::uint64_t announcedSize = 0;
  CookieStore cookies;

  // Forgets the proxy scheme chosen by the previous exchange.
  void ResetProxyAuthentication();
  // Sends GET requests for `url` (an http URL) until a final answer, whose
  // body goes to `sink`; returns its status. The extra header lines and the
  // logged-on user's NTLM answer go only to the host `url` names. Raises
  // HttpFailure, and lets PlatformError and RunAbandoned through.
  int Get(const std::string& url, BodySink& sink);
  void Disconnect();

 private:
  struct Scheme;
  struct Answer;
  enum class ChallengeOutcome { Retry, GiveUp };

  std::string BuildRequest(const HttpTarget& target, bool pageHost, const std::string& authorization,
                           const std::string& proxyAuthorization) const;
  void EchoRequest(const std::string& request);
  void EchoChallenge(const ResponseHead& head);
  Answer Exchange(const HttpTarget& target, const std::string& request);
  void OpenConnection(const std::string& host, int port);
  bool ReadHead(Answer& answer);
  void ReadBody(Answer& answer, BodySink* sink, int limitMs);
  void ReceiveBody(Answer& answer, BodySink* sink, int limitMs);
  std::ptrdiff_t Fill(int limitMs);
  HttpFailure Silence() const;
  void StoreCookies(const ResponseHead& head, const HttpTarget& target);
  std::string Answer407(const ResponseHead& head);
  std::string Answer401(const ResponseHead& head);
  std::string RunScheme(Scheme& s, const ResponseHead& head, const char* challengeField, bool proxySide);
  [[noreturn]] void GiveUp(Scheme& s, const std::string& statusLine, bool proxySide);

  Network& network_;
  Ntlm& ntlm_;
  System& system_;
  HttpClientEvents& events_;
  std::unique_ptr<Connection> conn_;
  std::string connHost_;
  int connPort_ = 0;
  std::string in_;  // received and not yet used
  std::size_t inPos_ = 0;
  std::unique_ptr<Scheme> proxyScheme_;
};

}  // namespace imptherm
