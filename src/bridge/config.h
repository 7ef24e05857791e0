#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/parsed.h"

namespace imptherm::bridge {

inline constexpr int kDefaultPort = 9180;
// Without a port of its own (--port), a bridge takes the first free one of
// this many from the configured port on: each user of a shared computer has
// a bridge, and a page's client looks through them for its own user's.
inline constexpr int kPortRange = 8;

// An allowed page origin and the hosts ("host" or "host:port") that its
// streamUrl may name.
struct OriginRule {
  std::string origin;  // "scheme://host[:port]", lower case, as browsers send it
  std::vector<std::string> streamHosts;
};

struct BridgeConfig {
  int port = kDefaultPort;
  std::vector<OriginRule> origins;
};

// Reads the configuration file's JSON text; refused with a reason that names
// the faulty entry.
Parsed<BridgeConfig> ParseBridgeConfig(std::string_view text);

// "scheme://host[:port]" made canonical (lower case; http or https; no
// path): nothing when `text` is not such an origin. "null" is no origin.
std::optional<std::string> CanonicalOrigin(std::string_view text);
// The rule of an origin given on the command line: its own host allowed.
OriginRule RuleForOrigin(const std::string& canonicalOrigin);
// The rules of the origins given with --allow-origin; refused, naming it,
// when one of them is no origin.
Parsed<std::vector<OriginRule>> RulesForOrigins(const std::vector<std::string>& texts);

// The Host header of a request to the bridge on `port`: only the loopback
// names, so that a rebound DNS name of a web site is refused.
bool HostHeaderAllowed(std::string_view host, int port);
// Whether an http URL names a host (and port) that the rule allows.
bool StreamUrlAllowed(const OriginRule& rule, std::string_view url);
// Whether a proxy address "host:port" is among the rule's hosts.
bool ProxyAllowed(const OriginRule& rule, std::string_view proxy);
// Whether a print run may open a connection to `host` (as a URL names it,
// IPv6 literals with or without brackets) and `port`: a redirect or a proxy
// must not lead a run to a host its page could not name.
bool ConnectionAllowed(const OriginRule& rule, std::string_view host, int port);

// The configuration file, read again when it changes (another file put in
// its place, or a new size or modification time); a file that cannot be
// read or parsed keeps the last good configuration (and says why in the log,
// once per change). A file that is deleted allows nothing any more. Origins
// given at start are added.
class ConfigStore {
 public:
  using Log = std::function<void(const std::string&)>;
  // Why others than the bridge's user may change a file or folder; empty
  // when they cannot. The file and its folder are refused for any reason
  // it gives. None: every file is trusted.
  using Distrust = std::function<std::string(const std::string& path)>;
  ConfigStore(std::string path, std::vector<OriginRule> startOrigins, Log log, Distrust distrust = {});
  void Refresh();
  const OriginRule* Find(std::string_view origin) const;
  const BridgeConfig& file() const { return file_; }
  std::size_t originCount() const { return file_.origins.size() + start_.size(); }
  const std::string& path() const { return path_; }

 private:
  std::string Distrusted() const;
  std::string path_;
  std::vector<OriginRule> start_;
  Log log_;
  BridgeConfig file_;
  // What tells one file from another: the file last read, nothing before
  // the first read or while the file is missing.
  struct Stamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::filesystem::file_time_type time;
    bool operator==(const Stamp&) const = default;
  };
  std::optional<Stamp> readStamp_;
  bool missingSaid_ = false;
  Distrust distrust_;
  std::string distrustSaid_;  // the refusal last logged, not repeated
};

}  // namespace imptherm::bridge
