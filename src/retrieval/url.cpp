#include "retrieval/url.h"

#include "base/text.h"

namespace imptherm {

UrlParts SplitUrl(std::string_view url) {
  std::string_view rest = url;
  if (auto scheme = url.find("://"); scheme != std::string_view::npos) rest = url.substr(scheme + 3);
  UrlParts parts;
  if (auto colon = rest.find(':'); colon != std::string_view::npos) {
    parts.site = rest.substr(0, colon);
    std::string_view after = rest.substr(colon + 1);
    auto slash = after.find('/');
    parts.port = after.substr(0, slash);
    if (slash != std::string_view::npos) parts.path = after.substr(slash);
    return parts;
  }
  parts.port = "80";
  auto cut = rest.find('/');
  if (cut == std::string_view::npos) cut = rest.find('\\');
  parts.site = rest.substr(0, cut);
  if (cut != std::string_view::npos) parts.path = rest.substr(cut);
  return parts;
}

ProxyAddress ParseProxyAddress(std::string_view text) {
  ProxyAddress a;
  auto colon = text.find(':');
  a.host = text.substr(0, colon);
  if (colon != std::string_view::npos) a.port = ParseDecimal(text.substr(colon + 1, 255)).value_or(0);
  return a;
}

std::string HttpTarget::HostHeader() const { return port == 80 ? host : host + ":" + std::to_string(port); }

namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && UpperAscii(s.substr(0, prefix.size())) == UpperAscii(prefix);
}

// A blank or control byte in a path would end the request line or start a
// header line of its own: it travels percent-encoded, as browsers send it.
std::string EncodeBlanks(std::string_view path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if (IsBlank(c) || b == 0x7F) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// "host[:port]" followed by the path; the path may be missing.
std::optional<HttpTarget> ParseAuthorityAndPath(std::string_view rest) {
  auto end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, end);
  std::string_view path = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  if (auto at = authority.rfind('@'); at != std::string_view::npos) authority = authority.substr(at + 1);
  HttpTarget t;
  auto colon = authority.rfind(':');
  t.host = authority.substr(0, colon);
  if (colon != std::string_view::npos && colon + 1 < authority.size()) {
    auto port = ParseDecimal(authority.substr(colon + 1));
    if (!port || *port < 1 || *port > 65535 || IsBlank(authority[colon + 1])) return std::nullopt;
    t.port = *port;
  }
  if (t.host.empty()) return std::nullopt;
  for (char c : t.host)
    if (IsBlank(c)) return std::nullopt;
  path = path.substr(0, path.find('#'));
  if (path.empty() || path[0] != '/') t.pathAndQuery.push_back('/');
  t.pathAndQuery.append(EncodeBlanks(path));
  return t;
}

}  // namespace

std::optional<HttpTarget> ParseHttpUrl(std::string_view url) {
  if (!StartsWithNoCase(url, "http://")) return std::nullopt;
  return ParseAuthorityAndPath(url.substr(7));
}

std::optional<HttpTarget> ResolveLocation(const HttpTarget& base, std::string_view location) {
  std::string_view loc = location;
  if (StartsWithNoCase(loc, "http://")) return ParseHttpUrl(loc);
  if (loc.substr(0, 2) == "//") return ParseAuthorityAndPath(loc.substr(2));
  if (loc.find("://") != std::string_view::npos) return std::nullopt;
  if (loc.empty()) return std::nullopt;
  HttpTarget t = base;
  const std::string rel = EncodeBlanks(loc.substr(0, loc.find('#')));
  if (rel[0] == '/') {
    t.pathAndQuery = rel;
  } else if (rel[0] == '?') {
    t.pathAndQuery = base.pathAndQuery.substr(0, base.pathAndQuery.find('?')) + rel;
  } else {
    std::string dir = base.pathAndQuery.substr(0, base.pathAndQuery.find('?'));
    dir = dir.substr(0, dir.rfind('/') + 1);
    t.pathAndQuery = dir + rel;
  }
  return t;
}

}  // namespace imptherm
