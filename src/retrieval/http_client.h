#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
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
class HttpFailure : public PlatformError {
 public:
  explicit HttpFailure(const std::string& text, bool quiet = false) : PlatformError(text), quiet_(quiet) {}
  bool quiet() const { return quiet_; }

 private:
  bool quiet_;
};

// Receives the body of the final answer. Restart empties it again (after a
// redirect). Both may raise PlatformError.
class BodySink {
 public:
  virtual ~BodySink() = default;
  virtual void Restart() = 0;
  virtual void Write(std::string_view bytes) = 0;
};

struct HttpCredentials {
  std::string user;  // "DOMAIN\\user" for NTLM with a domain
  std::string password;
};

// Where an exchange takes its proxy credentials from. Asked when the first
// 407 of the exchange has chosen `scheme`, and again when a scheme needs
// credentials it does not hold (the exchange then fails whatever comes back).
class ProxyCredentialsSource {
 public:
  virtual ~ProxyCredentialsSource() = default;
  virtual HttpCredentials ProxyCredentials(const std::string& scheme) = 0;
};

// One exchange: what to fetch, the page's own header lines, the way out and
// where the answer and the echo go.
struct HttpRequest {
  std::string url;  // an http URL
  // Lines for the host `url` names only (the page's cookie), as given.
  std::vector<std::string> headers;
  ProxyAddress proxy;
  ProxyCredentialsSource* credentials = nullptr;  // none: a proxy challenge fails
  BodySink* body = nullptr;                       // required: the final answer's body
  Memo* echo = nullptr;                           // request heads and 407 answers
};

// What a completed exchange reports.
struct HttpResult {
  int status = 0;
  // The size the last body read announced (Content-Length, else what came);
  // an answer without a body leaves the previous figure, even one from an
  // earlier exchange.
  std::uint64_t announcedSize = 0;
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

  HttpClient(Network& network, Ntlm& ntlm, System& system);
  ~HttpClient();

  // Settings of the process, not of one exchange; the tests shorten them.
  int connectLimitMs = kConnectLimitMs;
  int silenceLimitMs = kSilenceLimitMs;
  CookieStore cookies;

  // Sends GET requests for `request.url` until a final answer, whose body
  // goes to `request.body`. The proxy authentication starts afresh with each
  // exchange; the page's header lines and the logged-on user's NTLM answer go
  // only to the host the URL names. Raises HttpFailure, and lets
  // PlatformError and RunAbandoned through.
  HttpResult Get(const HttpRequest& request);
  void Disconnect();

 private:
  struct Scheme;
  struct Transfer;
  struct Answer;

  std::string BuildRequest(const HttpRequest& request, const HttpTarget& target, bool pageHost,
                           const std::string& authorization, const std::string& proxyAuthorization) const;
  static void EchoRequest(Memo* echo, const std::string& request);
  static void EchoChallenge(Memo* echo, const ResponseHead& head);
  Answer Exchange(const HttpRequest& request, const HttpTarget& target, const std::string& wire);
  void OpenConnection(const std::string& host, int port);
  bool ReadHead(Answer& answer);
  void ReadBody(Answer& answer, BodySink* sink, int limitMs);
  void ReceiveBody(Answer& answer, BodySink* sink, int limitMs);
  std::ptrdiff_t Fill(int limitMs);
  HttpFailure Silence() const;
  void StoreCookies(const ResponseHead& head, const HttpTarget& target);
  std::string RunScheme(Transfer& t, Scheme& s, const ResponseHead& head, bool proxySide);

  Network& network_;
  Ntlm& ntlm_;
  System& system_;
  std::unique_ptr<Connection> conn_;
  std::string connHost_;
  int connPort_ = 0;
  std::string in_;  // received and not yet used
  std::size_t inPos_ = 0;
  std::uint64_t announcedSize_ = 0;
};

}  // namespace imptherm
