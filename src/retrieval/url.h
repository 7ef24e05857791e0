#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace imptherm {

// The three parts of a URL as the run log shows them. Kept apart from the
// request's own parsing on purpose: the log rule is older and simpler.
struct UrlParts {
  std::string site;
  std::string port;
  std::string path;
};
UrlParts SplitUrl(std::string_view url);

// "host:port" of the page's proxy setting. The port is 0 when it is missing
// or not a number, which means no proxy.
struct ProxyAddress {
  std::string host;
  int port = 0;
  bool used() const { return !host.empty() && port != 0; }
};
ProxyAddress ParseProxyAddress(std::string_view text);

// An http URL as the request needs it.
struct HttpTarget {
  std::string host;
  int port = 80;
  std::string pathAndQuery;  // never empty: "/" at least
  // "host" or "host:port" when the port is not 80.
  std::string HostHeader() const;
  std::string Absolute() const { return "http://" + HostHeader() + pathAndQuery; }
};
// Nothing when the URL is not http or names no host or a bad port.
std::optional<HttpTarget> ParseHttpUrl(std::string_view url);

// Where a Location value leads from `base`: an absolute http URL, a URL
// without scheme ("//host/path"), an absolute path or a relative one.
// Nothing when it cannot be followed (another scheme, no host).
std::optional<HttpTarget> ResolveLocation(const HttpTarget& base, std::string_view location);

}  // namespace imptherm
