#include "run/site_lock.h"

#include <optional>

#include "base/text.h"

namespace imptherm {
namespace {

struct Origin {
  std::string scheme;  // lower case
  std::string host;    // lower case, "*." kept for patterns
  int port = 0;        // the scheme's default filled in; 0 when it has none
};

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Host names as DNS writes them: labels of letters, digits and '-', joined by
// single dots, with no dot at either end. Everything a browser would decode
// or reinterpret ('%', '@', '\\', a trailing dot) is refused rather than
// guessed at.
bool ValidHost(std::string_view host) {
  if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.') return false;
  char previous = '.';
  for (char c : host) {
    if (c == '.' && previous == '.') return false;
    if (c != '.' && c != '-' && !IsAlpha(c) && !IsDigit(c)) return false;
    previous = c;
  }
  return true;
}

bool NumericHost(std::string_view host) {
  for (char c : host)
    if (c != '.' && !IsDigit(c)) return false;
  return true;
}

int DefaultPort(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return 0;
}

// "scheme://authority" followed, for a page, by its path, query or fragment;
// a pattern may end at the authority or with one '/'.
std::optional<Origin> ParseOrigin(std::string_view text, bool pattern) {
  const auto colon = text.find("://");
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  Origin o;
  o.scheme = LowerAscii(text.substr(0, colon));
  for (char c : o.scheme)
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
  if (!IsAlpha(o.scheme.front())) return std::nullopt;
  std::string_view rest = text.substr(colon + 3);
  // Browsers read a backslash in an http address as a slash: it ends the
  // authority too.
  const auto end = rest.find_first_of("/\\?#");
  std::string_view authority = rest.substr(0, end);
  if (pattern && end != std::string_view::npos && rest.substr(end) != "/") return std::nullopt;
  if (authority.find('@') != std::string_view::npos) return std::nullopt;
  std::string_view host = authority;
  o.port = DefaultPort(o.scheme);
  if (const auto p = authority.rfind(':'); p != std::string_view::npos) {
    host = authority.substr(0, p);
    const std::string_view digits = authority.substr(p + 1);
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    for (char c : digits)
      if (!IsDigit(c)) return std::nullopt;
    const auto port = ParseDecimal(digits);
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    o.port = *port;
  }
  o.host = LowerAscii(host);
  std::string_view name = o.host;
  if (pattern && name.substr(0, 2) == "*.") name.remove_prefix(2);
  if (!ValidHost(name)) return std::nullopt;
  return o;
}

bool Matches(const Origin& page, const Origin& site) {
  if (page.scheme != site.scheme || page.port != site.port) return false;
  if (site.host.substr(0, 2) != "*.") return page.host == site.host;
  // A wildcard names DNS names below a domain, never addresses.
  if (NumericHost(page.host)) return false;
  const std::string_view suffix = std::string_view(site.host).substr(1);  // ".corp.example"
  return page.host.size() > suffix.size() &&
         page.host.compare(page.host.size() - suffix.size(), suffix.size(), suffix.data(), suffix.size()) == 0;
}

}  // namespace

std::vector<std::string> SplitSitePatterns(std::string_view value) {
  std::vector<std::string> patterns;
  while (!value.empty()) {
    const auto semicolon = value.find(';');
    std::string pattern = TrimBlanks(value.substr(0, semicolon));
    if (!pattern.empty()) patterns.push_back(std::move(pattern));
    if (semicolon == std::string_view::npos) break;
    value.remove_prefix(semicolon + 1);
  }
  return patterns;
}

bool SiteAllowed(std::string_view pageUrl, const std::vector<std::string>& patterns) {
  const auto page = ParseOrigin(pageUrl, false);
  if (!page) return false;
  for (const std::string& text : patterns) {
    const auto site = ParseOrigin(text, true);
    if (site && Matches(*page, *site)) return true;
  }
  return false;
}

}  // namespace imptherm
