#include "retrieval/cookies.h"

#include <algorithm>

#include "base/text.h"

namespace imptherm {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;
  return !host.empty() &&
         std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool Digits(std::string_view s, std::size_t min, std::size_t max) {
  return s.size() >= min && s.size() <= max &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Splits a Set-Cookie2 value at the commas that separate cookies, not at
// those inside quoted strings.
std::vector<std::string_view> SplitVersion2(std::string_view value) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '"') quoted = !quoted;
    if (value[i] == ',' && !quoted) {
      parts.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(value.substr(start));
  return parts;
}

}  // namespace

bool DomainMatches(std::string_view host, std::string_view domain) {
  std::string h = LowerAscii(host), d = LowerAscii(domain);
  if (h == d) return true;
  return !IsIpAddress(h) && h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 &&
         h[h.size() - d.size() - 1] == '.';
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
  if (requestPath == cookiePath) return true;
  if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
  return (!cookiePath.empty() && cookiePath.back() == '/') || requestPath[cookiePath.size()] == '/';
}

std::string DefaultCookiePath(std::string_view requestPath) {
  requestPath = requestPath.substr(0, requestPath.find('?'));
  if (requestPath.empty() || requestPath[0] != '/') return "/";
  auto last = requestPath.rfind('/');
  if (last == 0) return "/";
  return std::string(requestPath.substr(0, last));
}

std::int64_t ParseCookieDate(std::string_view text) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  auto delimiter = [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) || (u >= 0x5B && u <= 0x60) ||
           (u >= 0x7B && u <= 0x7E);
  };
  int hour = -1, minute = 0, second = 0, day = -1, month = -1, year = -1;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && delimiter(text[i])) ++i;
    std::size_t start = i;
    while (i < text.size() && !delimiter(text[i])) ++i;
    std::string_view token = text.substr(start, i - start);
    if (token.empty()) continue;
    std::size_t digits = 0;
    while (digits < token.size() && token[digits] >= '0' && token[digits] <= '9') ++digits;
    if (hour < 0 && token.find(':') != std::string_view::npos) {
      auto c1 = token.find(':'), c2 = token.find(':', c1 + 1);
      if (c2 != std::string_view::npos) {
        std::string_view h = token.substr(0, c1), m = token.substr(c1 + 1, c2 - c1 - 1), s = token.substr(c2 + 1);
        std::size_t sd = 0;
        while (sd < s.size() && s[sd] >= '0' && s[sd] <= '9') ++sd;
        s = s.substr(0, sd);
        if (Digits(h, 1, 2) && Digits(m, 1, 2) && Digits(s, 1, 2)) {
          hour = Number(h), minute = Number(m), second = Number(s);
          continue;
        }
      }
    }
    if (day < 0 && digits >= 1 && digits <= 2 && (digits == token.size() || token.size() > digits)) {
      if (digits == token.size() || !(token[digits] >= '0' && token[digits] <= '9')) {
        day = Number(token.substr(0, digits));
        continue;
      }
    }
    if (month < 0 && token.size() >= 3) {
      std::string prefix = LowerAscii(token.substr(0, 3));
      bool found = false;
      for (int m = 0; m < 12; ++m)
        if (prefix == kMonths[m]) month = m + 1, found = true;
      if (found) continue;
    }
    if (year < 0 && digits >= 2 && digits <= 4) year = Number(token.substr(0, digits));
  }
  if (year >= 70 && year <= 99) year += 1900;
  if (year >= 0 && year <= 69) year += 2000;
  if (hour < 0 || day < 1 || day > 31 || month < 1 || year < 1601 || hour > 23 || minute > 59 || second > 59) return -1;
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
         minute * 60 + second;
}

void CookieStore::Receive(std::string_view value, bool version2, const std::string& host, std::string_view requestPath,
                          std::string_view serverDate) {
  std::vector<std::string_view> cookies;
  if (version2)
    cookies = SplitVersion2(value);
  else
    cookies.push_back(value);
  for (std::string_view one : cookies) {
    auto semi = one.find(';');
    Store(one.substr(0, semi), semi == std::string_view::npos ? std::string_view() : one.substr(semi + 1), host,
          requestPath, serverDate);
  }
}

void CookieStore::Store(std::string_view pair, std::string_view attributes, const std::string& host,
                        std::string_view requestPath, std::string_view serverDate) {
  if (pair.size() + attributes.size() > kMaxCookieBytes) return;
  auto eq = pair.find('=');
  if (eq == std::string_view::npos) return;
  Cookie c;
  c.name = Trim(pair.substr(0, eq));
  c.value = Trim(pair.substr(eq + 1));
  if (c.name.empty()) return;
  c.domain = LowerAscii(host);
  c.path = DefaultCookiePath(requestPath);
  bool remove = false;
  while (!attributes.empty()) {
    auto semi = attributes.find(';');
    std::string_view attr = attributes.substr(0, semi);
    attributes.remove_prefix(semi == std::string_view::npos ? attributes.size() : semi + 1);
    auto aeq = attr.find('=');
    std::string key = LowerAscii(Trim(attr.substr(0, aeq)));
    std::string_view val = aeq == std::string_view::npos ? std::string_view() : Unquote(Trim(attr.substr(aeq + 1)));
    if (key == "domain" && !val.empty()) {
      if (val.front() == '.') val.remove_prefix(1);
      if (val.empty()) continue;
      if (!DomainMatches(host, val)) return;  // a server may not set cookies for others
      c.domain = LowerAscii(val);
      c.hostOnly = false;
    } else if (key == "path") {
      c.path = !val.empty() && val.front() == '/' ? std::string(val) : DefaultCookiePath(requestPath);
    } else if (key == "max-age" && !val.empty()) {
      if (val.front() == '-' || val == "0" || std::all_of(val.begin(), val.end(), [](char ch) { return ch == '0'; }))
        remove = true;
    } else if (key == "expires") {
      std::int64_t expires = ParseCookieDate(val);
      std::int64_t now = ParseCookieDate(serverDate);
      if (expires >= 0 && now >= 0 && expires <= now) remove = true;
    } else if (key == "secure") {
      c.secure = true;
    }
  }
  auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& k) {
    return k.name == c.name && k.domain == c.domain && k.path == c.path;
  });
  if (same != cookies_.end()) {
    c.order = same->order;
    cookies_.erase(same);
  } else {
    c.order = next_++;
  }
  if (remove) return;
  if (cookies_.size() >= kMaxCookies) cookies_.erase(cookies_.begin());
  cookies_.push_back(std::move(c));
}

std::string CookieStore::HeaderFor(const std::string& host, std::string_view requestPath) const {
  std::string path = std::string(requestPath.substr(0, requestPath.find('?')));
  if (path.empty()) path.push_back('/');
  std::vector<const Cookie*> chosen;
  for (const Cookie& c : cookies_) {
    if (c.secure) continue;  // never over plain HTTP, which is all this client speaks
    bool domainOk = c.hostOnly ? LowerAscii(host) == c.domain : DomainMatches(host, c.domain);
    if (domainOk && PathMatches(path, c.path)) chosen.push_back(&c);
  }
  std::stable_sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
    if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
    return a->order < b->order;
  });
  std::string header;
  for (const Cookie* c : chosen) {
    if (!header.empty()) header += "; ";
    header += c->name + "=" + c->value;
  }
  return header;
}

}  // namespace imptherm
