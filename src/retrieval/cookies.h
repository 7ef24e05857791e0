#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imptherm {

// The cookies that answers set, kept for the life of the process and sent
// back where their domain and path apply (RFC 6265 matching). There is no
// clock here: a cookie lives until the process ends or an answer removes it
// (Max-Age of zero or less, or an Expires date in the past as the server
// sees it, judged against the Date of that same answer).
class CookieStore {
 public:
  // Caps that keep a hostile server from filling memory.
  static constexpr std::size_t kMaxCookies = 300;
  static constexpr std::size_t kMaxCookieBytes = 4096;

  // One Set-Cookie value (`version2` for Set-Cookie2, whose value may hold
  // several cookies separated by commas) received for `host` and
  // `requestPath`. `serverDate` is the answer's Date value, may be empty.
  void Receive(std::string_view value, bool version2, const std::string& host, std::string_view requestPath,
               std::string_view serverDate = {});

  // "name=value; name2=value2" of the cookies for that request, longest
  // paths first; empty when none applies.
  std::string HeaderFor(const std::string& host, std::string_view requestPath) const;

  std::size_t size() const { return cookies_.size(); }
  void clear() { cookies_.clear(); }

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool hostOnly = true;
    bool secure = false;
    std::uint64_t order = 0;
  };
  void Store(std::string_view pair, std::string_view attributes, const std::string& host, std::string_view requestPath,
             std::string_view serverDate);
  std::vector<Cookie> cookies_;
  std::uint64_t next_ = 0;
};

// Domain and path matching of RFC 6265 (5.1.3, 5.1.4), exposed for the tests.
bool DomainMatches(std::string_view host, std::string_view domain);
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);
std::string DefaultCookiePath(std::string_view requestPath);
// Seconds since 1970 of an HTTP date in any of the RFC 6265 forms; negative
// when it cannot be read.
std::int64_t ParseCookieDate(std::string_view text);

}  // namespace imptherm
