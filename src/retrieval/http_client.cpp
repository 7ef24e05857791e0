#include "retrieval/http_client.h"

#include <algorithm>

#include "base/text.h"
#include "platform/network_messages.h"
#include "retrieval/base64.h"

namespace imptherm {
namespace {

const std::string kSeparator(59, '_');

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && UpperAscii(s.substr(0, prefix.size())) == UpperAscii(prefix);
}

std::string FirstWord(std::string_view value) { return UpperAscii(value.substr(0, value.find(' '))); }

// A header line taken from the page must stay one line on the wire.
std::string OneLine(const std::string& line) { return line.substr(0, line.find_first_of("\r\n")); }

// What the echo shows of a credentials line: the scheme, never the secret.
std::string Masked(std::string_view line) {
  for (std::string_view name : {"Authorization: ", "Proxy-Authorization: "}) {
    if (line.substr(0, name.size()) == name) {
      std::string_view value = line.substr(name.size());
      return std::string(name) + std::string(value.substr(0, value.find(' '))) + " ********";
    }
  }
  return std::string(line);
}

}  // namespace

struct HttpClient::Scheme {
  enum Kind { None, Basic, Ntlm } kind = None;
  std::string name;
  int step = 0;
  int count = 0;
  std::string user, password;
  std::unique_ptr<NtlmContext> ntlm;
};

// What one exchange learns on its way: the schemes answering the proxy and
// the page's server, and the proxy credentials the source gave.
struct HttpClient::Transfer {
  const HttpRequest& request;
  Scheme proxy;
  Scheme server;
  HttpCredentials proxyCredentials;

  void AskCredentials(const std::string& scheme) {
    if (request.credentials) proxyCredentials = request.credentials->ProxyCredentials(scheme);
  }
};

struct HttpClient::Answer {
  ResponseHead head;
  BodyFraming framing;
  bool keep = false;
};

HttpClient::HttpClient(Network& network, Ntlm& ntlm, System& system)
    : network_(network), ntlm_(ntlm), system_(system) {}

HttpClient::~HttpClient() { Disconnect(); }

void HttpClient::Disconnect() {
  if (conn_) conn_->Close();
  conn_.reset();
  in_.clear();
  inPos_ = 0;
}

std::string HttpClient::BuildRequest(const HttpRequest& request, const HttpTarget& target, bool pageHost,
                                     const std::string& authorization, const std::string& proxyAuthorization) const {
  std::string r = "GET " + (request.proxy.used() ? target.Absolute() : target.pathAndQuery) + " HTTP/1.0\r\n";
  auto add = [&r](const char* name, const std::string& value) {
    if (!value.empty()) r.append(name).append(": ").append(value).append("\r\n");
  };
  add("Connection", "Keep-Alive");
  add("Content-Type", "application/zip");
  const std::string cookie = cookies.HeaderFor(target.host, target.pathAndQuery);
  add("Cookie", cookie);
  // The page's own lines (its cookie) are meant for its server alone.
  for (const std::string& extra : request.headers) {
    std::string line = OneLine(extra);
    if (!pageHost || line.empty() || (!cookie.empty() && StartsWithNoCase(line, "Cookie:"))) continue;
    r.append(line).append("\r\n");
  }
  add("Host", target.HostHeader());
  add("Accept", "text/html, */*");
  add("User-Agent", kUserAgent);
  add("Authorization", authorization);
  add("Proxy-Authorization", proxyAuthorization);
  r.append("\r\n");
  return r;
}

void HttpClient::EchoRequest(Memo* echo, const std::string& request) {
  if (!echo) return;
  echo->AddLine("REQUETE : ");
  std::string_view rest = request;
  rest.remove_prefix(rest.find("\r\n") + 2);  // the request line is not echoed
  while (!rest.empty()) {
    auto end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    if (!line.empty()) echo->AddLine(VisibleControls(Masked(line)));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
  }
  echo->AddLine(kSeparator);
  echo->AddLine("");
}

void HttpClient::EchoChallenge(Memo* echo, const ResponseHead& head) {
  if (!echo) return;
  echo->AddLine("REPONSE : " + std::to_string(head.status));
  for (const std::string& line : head.lines) echo->AddLine(VisibleControls(line));
  echo->AddLine(kSeparator);
  echo->AddLine("");
}

void HttpClient::OpenConnection(const std::string& host, int port) {
  Disconnect();
  conn_ = network_.Connect(host, port, connectLimitMs);
  connHost_ = host;
  connPort_ = port;
}

std::ptrdiff_t HttpClient::Fill(int limitMs) {
  if (inPos_ == in_.size()) {
    in_.clear();
    inPos_ = 0;
  } else if (inPos_ > kBlock) {
    in_.erase(0, inPos_);
    inPos_ = 0;
  }
  std::size_t old = in_.size();
  in_.resize(old + kBlock);
  std::ptrdiff_t n = conn_->Receive(in_.data() + old, kBlock, limitMs);
  in_.resize(old + static_cast<std::size_t>(std::max<std::ptrdiff_t>(n, 0)));
  return n;
}

HttpFailure HttpClient::Silence() const {
  return HttpFailure{messages::NoDataReceived(connHost_ + ":" + std::to_string(connPort_), silenceLimitMs)};
}

// False when the server closed before sending a byte of its answer, which a
// kept connection may do at any time between two requests.
bool HttpClient::ReadHead(Answer& a) {
  bool any = false;
  for (;;) {
    std::string_view pending = std::string_view(in_).substr(inPos_);
    if (auto end = FindHeadEnd(pending); end && *end <= kMaxResponseHead) {
      auto parsed = ParseResponseHead(pending.substr(0, *end));
      inPos_ += *end;
      if (!parsed) {
        Disconnect();
        throw HttpFailure{parsed.error()};
      }
      a.head = std::move(*parsed);
      if (a.head.status < 200) continue;  // an interim answer: the real one follows
      auto framing = FramingOf(a.head);
      if (!framing) {
        Disconnect();
        throw HttpFailure{framing.error()};
      }
      a.framing = *framing;
      a.keep = a.framing.kind != BodyFraming::UntilClose &&
               (a.head.HasToken("Connection", "keep-alive") || a.head.HasToken("Proxy-Connection", "keep-alive")) &&
               !a.head.HasToken("Connection", "close");
      return true;
    }
    if (pending.size() >= kMaxResponseHead) {
      Disconnect();
      throw HttpFailure{messages::HeadTooLong(kMaxResponseHead)};
    }
    const std::ptrdiff_t n = Fill(silenceLimitMs);
    if (n == Connection::kTimedOut) {
      HttpFailure silence = Silence();
      Disconnect();
      throw silence;
    }
    if (n == 0) {
      if (!any && in_.size() == inPos_) return false;
      Disconnect();
      throw HttpFailure{"", true};
    }
    any = true;
  }
}

// Reads the body of `a`: into `sink` when given, else dropped. A limit
// bounds the whole read of a dropped body; a kept body has the silence
// limit for each wait. When a limit runs out, or the server stops early or
// breaks the connection, a dropped body is simply abandoned with its
// connection, while a kept body fails (quietly when the server closed).
// A connection whose answer was not read to its end is never used again.
void HttpClient::ReadBody(Answer& a, BodySink* sink, int limitMs) {
  try {
    ReceiveBody(a, sink, limitMs);
  } catch (const NetError&) {
    Disconnect();
    if (sink) throw;
  } catch (...) {
    Disconnect();
    throw;
  }
}

void HttpClient::ReceiveBody(Answer& a, BodySink* sink, int limitMs) {
  const std::uint32_t deadline = system_.TickCount() + static_cast<std::uint32_t>(std::max(limitMs, 0));
  auto left = [&]() -> int {
    if (limitMs < 0) return silenceLimitMs;
    std::int32_t remaining = static_cast<std::int32_t>(deadline - system_.TickCount());
    return remaining > 0 ? remaining : 0;
  };
  auto stopped = [&](std::ptrdiff_t n) {
    HttpFailure failure = n == Connection::kTimedOut ? Silence() : HttpFailure{"", true};
    Disconnect();
    if (sink) throw failure;
  };
  const BodyFraming& f = a.framing;
  if (f.kind == BodyFraming::None) return;
  if (f.kind == BodyFraming::Length) announcedSize_ = f.length;
  std::uint64_t received = 0;
  auto deliver = [&](std::string_view bytes) {
    received += bytes.size();
    if (sink && !bytes.empty()) sink->Write(bytes);
  };

  if (f.kind == BodyFraming::Chunked) {
    ChunkedDecoder decoder;
    std::string out;
    for (;;) {
      std::size_t used = decoder.Feed(std::string_view(in_).substr(inPos_), out);
      inPos_ += used;
      deliver(out);
      out.clear();
      if (decoder.error()) {
        Disconnect();
        if (sink) throw HttpFailure{decoder.error()->text};
        return;
      }
      if (decoder.done()) break;
      int limit = left();
      std::ptrdiff_t n = limit == 0 ? Connection::kTimedOut : Fill(limit);
      if (n <= 0) return stopped(n);
    }
    announcedSize_ = received;
  } else {
    const bool bounded = f.kind == BodyFraming::Length;
    auto wanted = [&] { return bounded ? f.length - received : UINT64_MAX; };
    std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(in_.size() - inPos_, wanted()));
    deliver(std::string_view(in_).substr(inPos_, take));
    inPos_ += take;
    std::string block(kBlock, '\0');
    while (wanted() > 0) {
      int limit = left();
      std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, wanted()));
      std::ptrdiff_t n = limit == 0 ? Connection::kTimedOut : conn_->Receive(block.data(), ask, limit);
      if (n == 0 && !bounded) break;
      if (n <= 0) return stopped(n);
      deliver(std::string_view(block.data(), static_cast<std::size_t>(n)));
    }
    if (!bounded) announcedSize_ = received;
  }
  // Bytes beyond the answer mean the connection can no longer be trusted.
  if (!a.keep || inPos_ != in_.size()) Disconnect();
}

HttpClient::Answer HttpClient::Exchange(const HttpRequest& request, const HttpTarget& target, const std::string& wire) {
  const ProxyAddress& proxy = request.proxy;
  const std::string& host = proxy.used() ? proxy.host : target.host;
  const int port = proxy.used() ? proxy.port : target.port;
  bool reused = conn_ && connHost_ == host && connPort_ == port;
  if (reused && !conn_->IsOpen()) reused = false;
  if (!reused) Disconnect();
  EchoRequest(request.echo, wire);
  for (;;) {
    if (!conn_) OpenConnection(host, port);
    Answer a;
    try {
      conn_->Send(wire);
      if (ReadHead(a)) return a;
    } catch (const NetError&) {
      if (!reused) throw;
    }
    // A kept connection the server dropped meanwhile: once more on a new one.
    Disconnect();
    if (!reused) throw HttpFailure{"", true};
    reused = false;
  }
}

void HttpClient::StoreCookies(const ResponseHead& head, const HttpTarget& target) {
  const std::string date = head.Find("Date").value_or("");
  for (const auto& [name, value] : head.fields) {
    const std::string upper = UpperAscii(name);
    if (upper == "SET-COOKIE" || upper == "SET-COOKIE2")
      cookies.Receive(value, upper == "SET-COOKIE2", target.host, target.pathAndQuery, date);
  }
}

// The value of the next (Proxy-)Authorization line, or HttpFailure with the
// challenge's status line once the scheme has nothing more to try.
std::string HttpClient::RunScheme(Transfer& t, Scheme& s, const ResponseHead& head, bool proxySide) {
  const HttpFailure givingUp{head.statusLine};
  if (s.count >= kAuthenticationLimit) throw givingUp;
  if (s.kind == Scheme::Basic) {
    ++s.count;
    if (s.user.empty()) {
      t.AskCredentials(s.name);
      throw givingUp;
    }
    return "Basic " + Base64Encode(s.user + ":" + s.password);
  }
  switch (s.step) {
    case 0: {
      std::optional<NtlmCredentials> credentials;
      if (!s.user.empty()) {
        auto slash = s.user.find('\\');
        credentials = NtlmCredentials{slash == std::string::npos ? "" : s.user.substr(0, slash),
                                      slash == std::string::npos ? s.user : s.user.substr(slash + 1), s.password};
      }
      s.ntlm = ntlm_.Start(credentials);
      s.step = 1;
      return "NTLM " + Base64Encode(s.ntlm->Negotiate());
    }
    case 1: {
      std::optional<std::string> challenge;
      for (const std::string& value : head.FindAll(proxySide ? "Proxy-Authenticate" : "WWW-Authenticate")) {
        if (FirstWord(value) != "NTLM" || value.find(' ') == std::string::npos) continue;
        challenge = Base64Decode(TrimBlanks(value.substr(value.find(' ') + 1)));
        if (challenge && !challenge->empty()) break;
        challenge.reset();
      }
      if (!challenge) {
        throw HttpFailure{messages::kAbandoned};
      }
      std::string answer = s.ntlm->Authenticate(*challenge);
      ++s.count;
      s.step = 2;
      return "NTLM " + Base64Encode(answer);
    }
    default:
      if (s.user.empty()) t.AskCredentials(s.name);
      throw givingUp;
  }
}

namespace {

// The scheme a challenge list offers first among those this client speaks.
std::optional<std::string> ChooseScheme(const std::vector<std::string>& offers, bool ntlmAvailable) {
  for (const std::string& offer : offers) {
    const std::string word = FirstWord(offer);
    if (word == "BASIC") return "Basic";
    if (word == "NTLM" && ntlmAvailable) return "NTLM";
  }
  return std::nullopt;
}

}  // namespace

HttpResult HttpClient::Get(const HttpRequest& request) {
  auto parsed = ParseHttpUrl(request.url);
  if (!parsed) throw HttpFailure{messages::BadAddress(request.url)};
  HttpTarget target = *parsed;
  const std::string pageHost = UpperAscii(target.host);
  const ProxyAddress& proxy = request.proxy;
  BodySink& sink = *request.body;
  Transfer t{request, {}, {}, {}};
  Scheme& server = t.server;
  std::string authorization, proxyAuthorization;
  int counted = 0;
  bool retry = false;
  for (;;) {
    if (!retry) ++counted;
    retry = false;
    const bool onPageHost = UpperAscii(target.host) == pageHost;
    Answer a = Exchange(request, target, BuildRequest(request, target, onPageHost, authorization, proxyAuthorization));
    const ResponseHead& head = a.head;
    StoreCookies(head, target);
    if (head.status == 407) EchoChallenge(request.echo, head);

    // Proxy credentials go to the proxy only, and the logged-on user's
    // answer only to the page's own server: any other 407 or 401 is an
    // error status like the rest.
    if ((head.status == 407 && proxy.used()) || (head.status == 401 && onPageHost)) {
      const bool proxySide = head.status == 407;
      ReadBody(a, nullptr, kDropLimitMs);
      Scheme& s = proxySide ? t.proxy : server;
      if (s.kind == Scheme::None) {
        auto name =
            ChooseScheme(head.FindAll(proxySide ? "Proxy-Authenticate" : "WWW-Authenticate"), ntlm_.Available());
        if (!name) throw HttpFailure{head.statusLine};
        s.kind = *name == "Basic" ? Scheme::Basic : Scheme::Ntlm;
        s.name = *name;
        if (proxySide) t.AskCredentials(s.name);
      }
      s.user = proxySide ? t.proxyCredentials.user : std::string();
      s.password = proxySide ? t.proxyCredentials.password : std::string();
      std::string value = RunScheme(t, s, head, proxySide);
      (proxySide ? proxyAuthorization : authorization) = std::move(value);
      retry = true;
      continue;
    }
    // NTLM authenticates the connection, not each request.
    if (t.proxy.kind == Scheme::Ntlm) proxyAuthorization.clear();
    if (server.kind == Scheme::Ntlm) authorization.clear();

    // Any answer that names a new location is followed (a 3xx without one
    // cannot be, and fails below as an error status).
    const auto location = head.Find("Location");
    if (location && counted < kRedirectLimit) {
      auto next = ResolveLocation(target, *location);
      if (!next) {
        ReadBody(a, nullptr, kDropLimitMs);
        throw HttpFailure{messages::CannotRedirect(*location)};
      }
      ReadBody(a, nullptr, kDropLimitMs);
      sink.Restart();
      if (next->host != target.host || next->port != target.port) {
        authorization.clear();
        server = Scheme{};
      }
      target = *next;
      continue;
    }
    if ((head.status >= 200 && head.status <= 299) || location) {
      ReadBody(a, &sink, Connection::kNoLimit);
      return HttpResult{head.status, announcedSize_};
    }
    ReadBody(a, nullptr, kErrorBodyLimitMs);
    throw HttpFailure{head.statusLine};
  }
}

}  // namespace imptherm
