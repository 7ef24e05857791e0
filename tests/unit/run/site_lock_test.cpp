#include "run/site_lock.h"

#include <gtest/gtest.h>

namespace imptherm {
namespace {

TEST(SiteLockTest, SplitsOneValueIntoPatterns) {
  EXPECT_EQ(SplitSitePatterns(" https://a.example ;; https://*.corp.example:8443;"),
            (std::vector<std::string>{"https://a.example", "https://*.corp.example:8443"}));
  EXPECT_TRUE(SplitSitePatterns("  ").empty());
}

TEST(SiteLockTest, PageAddressesAgainstTheList) {
  const std::vector<std::string> list = {"https://intranet.example.com", "https://*.corp.example:8443",
                                         "http://10.1.2.3/", "not a pattern", "https://evil.test/path"};
  const struct {
    const char* page;
    bool allowed;
  } cases[] = {
      {"https://intranet.example.com/labels/print.asp?id=4", true},
      {"HTTPS://Intranet.Example.COM:443/labels", true},
      {"https://intranet.example.com", true},
      {"https://a.b.corp.example:8443/x", true},
      {"http://10.1.2.3/x", true},
      {"https://intranet.example.com.evil.test/", false},
      {"https://intranet.example.com@evil.test/", false},
      {"https://user@intranet.example.com/", false},
      {"http://intranet.example.com/", false},
      {"https://intranet.example.com:8443/", false},
      {"https://intranet.example.com./", false},
      {"https://intranet%2eexample.com/", false},
      {"https://evil.test\\@intranet.example.com/", false},
      {"https://corp.example:8443/", false},
      {"https://evilcorp.example:8443/", false},
      {"https://a.corp.example/", false},
      {"https://evil.test/path", false},
      {"file:///c:/labels.html", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SiteAllowed(c.page, list), c.allowed) << c.page;
  EXPECT_FALSE(SiteAllowed("https://intranet.example.com/", {}));
}

}  // namespace
}  // namespace imptherm
