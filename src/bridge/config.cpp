#include "bridge/config.h"

#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/text.h"
#include "retrieval/url.h"

namespace imptherm::bridge {
namespace {

bool Digits(std::string_view s) { return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == s.npos; }

// "host" or "host:port" (IPv6 literals in brackets) split; port 0 when none.
bool SplitHostPort(std::string_view text, std::string& host, int& port) {
  port = 0;
  std::size_t colon = text.npos;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find(']');
    if (close == text.npos) return false;
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      colon = close + 1;
    }
  } else {
    colon = text.rfind(':');
  }
  host = LowerAscii(text.substr(0, colon));
  if (colon != text.npos) {
    if (!Digits(text.substr(colon + 1))) return false;
    port = std::stoi(std::string(text.substr(colon + 1)));
    if (port < 1 || port > 65535) return false;
  }
  return !host.empty() && host.find_first_of("/?#@ \t") == std::string::npos;
}

// Whether a "host[:port]" entry names the host and port of a URL; an entry
// without a port stands for the scheme's default one.
bool EntryMatches(const std::string& entry, const std::string& host, int port, int defaultPort) {
  std::string h;
  int p = 0;
  if (!SplitHostPort(entry, h, p)) return false;
  return h == host && (p == 0 ? defaultPort : p) == port;
}

bool HostAllowed(const OriginRule& rule, const std::string& host, int port, int defaultPort) {
  for (const std::string& entry : rule.streamHosts)
    if (EntryMatches(entry, host, port, defaultPort)) return true;
  return false;
}

}  // namespace

std::optional<std::string> CanonicalOrigin(std::string_view text) {
  const auto sep = text.find("://");
  if (sep == text.npos) return std::nullopt;
  const std::string scheme = LowerAscii(text.substr(0, sep));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  std::string_view rest = text.substr(sep + 3);
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  std::string host;
  int port = 0;
  if (!SplitHostPort(rest, host, port)) return std::nullopt;
  if (port == (scheme == "http" ? 80 : 443)) port = 0;
  return scheme + "://" + host + (port ? ":" + std::to_string(port) : "");
}

OriginRule RuleForOrigin(const std::string& canonicalOrigin) {
  return {canonicalOrigin, {canonicalOrigin.substr(canonicalOrigin.find("://") + 3)}};
}

Parsed<std::vector<OriginRule>> RulesForOrigins(const std::vector<std::string>& texts) {
  std::vector<OriginRule> rules;
  for (const std::string& text : texts) {
    const auto origin = CanonicalOrigin(text);
    if (!origin) {
      return ParseError{"--allow-origin wants scheme://host[:port] (http or https), got '" + text + "'"};
    }
    rules.push_back(RuleForOrigin(*origin));
  }
  return rules;
}

Parsed<BridgeConfig> ParseBridgeConfig(std::string_view text) {
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    return ParseError{"not a JSON object"};
  }
  BridgeConfig config;
  for (const auto& [key, value] : j.items()) {
    if (key == "port") {
      if (!value.is_number_integer() || value.get<long long>() < 1 || value.get<long long>() > 65535) {
        return ParseError{"\"port\" must be a number from 1 to 65535"};
      }
      config.port = value.get<int>();
    } else if (key == "origins") {
      if (!value.is_array()) {
        return ParseError{"\"origins\" must be a list"};
      }
      for (const auto& item : value) {
        if (!item.is_object() || !item.contains("origin") || !item["origin"].is_string()) {
          return ParseError{"every entry of \"origins\" needs an \"origin\" text"};
        }
        const std::string name = item["origin"].get<std::string>();
        const auto origin = CanonicalOrigin(name);
        if (!origin) {
          return ParseError{"\"" + name + "\" is not an origin (scheme://host[:port])"};
        }
        OriginRule rule = RuleForOrigin(*origin);
        for (const auto& [field, hosts] : item.items()) {
          if (field == "origin") continue;
          if (field != "streamHosts" || !hosts.is_array()) {
            return ParseError{"origin " + *origin + ": unknown entry \"" + field + "\" or \"streamHosts\" not a list"};
          }
          rule.streamHosts.clear();
          for (const auto& h : hosts) {
            std::string host;
            int port = 0;
            if (!h.is_string() || !SplitHostPort(h.get<std::string>(), host, port)) {
              return ParseError{"origin " + *origin + ": a stream host must be a text \"host\" or \"host:port\""};
            }
            rule.streamHosts.push_back(h.get<std::string>());
          }
        }
        config.origins.push_back(std::move(rule));
      }
    } else {
      return ParseError{"unknown entry \"" + key + "\""};
    }
  }
  return config;
}

bool HostHeaderAllowed(std::string_view host, int port) {
  const std::string p = ":" + std::to_string(port);
  const std::string h = LowerAscii(host);
  return h == "127.0.0.1" + p || h == "localhost" + p || h == "[::1]" + p;
}

bool StreamUrlAllowed(const OriginRule& rule, std::string_view url) {
  const auto target = ParseHttpUrl(url);
  if (!target) return false;
  std::string host;
  int port = 0;
  // The URL's host as a Host header would name it, brackets included.
  if (!SplitHostPort(target->HostHeader(), host, port)) return false;
  return HostAllowed(rule, host, target->port, 80);
}

bool ProxyAllowed(const OriginRule& rule, std::string_view proxy) {
  std::string host;
  int port = 0;
  if (!SplitHostPort(proxy, host, port)) return false;
  return HostAllowed(rule, host, port, 0);
}

bool ConnectionAllowed(const OriginRule& rule, std::string_view host, int port) {
  std::string name = LowerAscii(host);
  if (name.find(':') != name.npos && name.front() != '[') name = "[" + name + "]";
  return HostAllowed(rule, name, port, 80);
}

ConfigStore::ConfigStore(std::string path, std::vector<OriginRule> startOrigins, Log log, Distrust distrust)
    : path_(std::move(path)), start_(std::move(startOrigins)), log_(std::move(log)), distrust_(std::move(distrust)) {}

std::string ConfigStore::Distrusted() const {
  if (!distrust_) return "";
  if (std::string why = distrust_(path_); !why.empty()) return why;
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (folder.empty()) folder = ".";
  if (std::string why = distrust_(folder.string()); !why.empty()) return "its folder " + folder.string() + ": " + why;
  return "";
}

void ConfigStore::Refresh() {
  std::error_code timeError;
  Stamp stamp;
  stamp.time = std::filesystem::last_write_time(path_, timeError);
  // A file put in place of the old one may keep its time and size
  // (touch -r, then mv): its device and inode tell it apart. Windows has no
  // inode here; time and size remain.
  struct stat st {};
  if (timeError || ::stat(path_.c_str(), &st) != 0) {
    if (!missingSaid_ && readStamp_) {
      // Deleting the file is how its origins are taken back.
      const std::size_t dropped = file_.origins.size();
      file_.origins.clear();
      log_("configuration " + path_ + " is gone: its " + std::to_string(dropped) +
           " origin(s) are no longer allowed, only those given with --allow-origin");
    }
    missingSaid_ = true;
    readStamp_.reset();
    return;
  }
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  missingSaid_ = false;
  // Whoever may change the file may allow any origin: such a file allows
  // nothing, however good it was before.
  if (std::string why = Distrusted(); !why.empty()) {
    file_.origins.clear();
    readStamp_.reset();
    if (why != distrustSaid_)
      log_("configuration " + path_ + " refused: " + why + "; only the --allow-origin origins are allowed");
    distrustSaid_ = why;
    return;
  }
  distrustSaid_.clear();
  if (readStamp_ && *readStamp_ == stamp) return;
  readStamp_ = stamp;
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  auto config = ParseBridgeConfig(text.str());
  if (!in || !config) {
    log_("configuration " + path_ + " refused, keeping the last good one: " + (in ? config.error() : "cannot be read"));
    return;
  }
  file_ = std::move(*config);
  log_("configuration " + path_ + " read: " + std::to_string(file_.origins.size()) + " origin(s)");
}

const OriginRule* ConfigStore::Find(std::string_view origin) const {
  for (const OriginRule& r : start_)
    if (r.origin == origin) return &r;
  for (const OriginRule& r : file_.origins)
    if (r.origin == origin) return &r;
  return nullptr;
}

}  // namespace imptherm::bridge
