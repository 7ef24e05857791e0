#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace imptherm {

// The sites whose pages may drive the control from a browser, as the
// administrator lists them: "scheme://host" or "scheme://host:port", the host
// optionally starting with "*." for any name below it (not the name itself).
// One registry value may hold several patterns separated by ';'.
std::vector<std::string> SplitSitePatterns(std::string_view value);

// Whether the page at `pageUrl` belongs to a listed site. The scheme and the
// port must be the pattern's (a pattern without port means the scheme's
// default: 80 for http, 443 for https); the host compares without regard to
// letter case. A page address with user information, an escaped or unusual
// host name, or anything that does not parse, belongs to no site.
bool SiteAllowed(std::string_view pageUrl, const std::vector<std::string>& patterns);

}  // namespace imptherm
