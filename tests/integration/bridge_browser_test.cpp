// The bridge driven by a real browser: headless Chromium loads a page from one
// loopback port, the page's script reaches the bridge on another through
// impthermorvane.js, and the page writes what came of the print run into its
// DOM, which the test reads. The label data is served by the page's own
// server, so the page's host is the one its streamUrl may name.
//
// IMPTHERM_BRIDGE_COMMAND starts the bridge (default: the built program; for
// the Windows build, for example "/usr/lib/wine/wine64 build-win64/impthermorvane.exe"), and
// IMPTHERM_BRIDGE_TEMP is the folder its job file lands in when that is not
// the TMPDIR the test gives it (Wine's is inside the prefix).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "fakes/fake_platform.h"
#include "support/folder_server.h"
#include "support/free_port.h"
#include "support/run_program.h"

namespace imptherm {
namespace {

namespace fs = std::filesystem;

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

std::string PercentEncode(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// `impthermorvane serve` (or the command given), stopped by SIGTERM, and by
// SIGKILL when it does not stop within 10 s.
class Bridge {
 public:
  Bridge(const std::string& command, const std::map<std::string, std::string>& env, const std::string& logPath,
         int port) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
      std::freopen("/dev/null", "r", stdin);
      std::freopen(logPath.c_str(), "w", stdout);
      std::freopen(logPath.c_str(), "a", stderr);
      ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::string ready = "listening on http://127.0.0.1:" + std::to_string(port);
    const int seconds = std::stoi(EnvOr("IMPTHERM_BRIDGE_START_SECONDS", "30"));
    for (int i = 0; i < seconds * 20 && !listening_; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      listening_ = fakes::ReadFile(logPath).find(ready) != std::string::npos;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
    }
  }
  ~Bridge() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    for (int i = 0; i < 200; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;
  bool listening() const { return listening_; }

 private:
  pid_t pid_ = -1;
  bool listening_ = false;
};

// A managed Chromium policy that exists for one case, removed however the
// case ends.
class ManagedPolicy {
 public:
  explicit ManagedPolicy(const std::string& json) {
    fs::create_directories(path_.parent_path());
    std::ofstream(path_) << json;
  }
  ~ManagedPolicy() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  ManagedPolicy(const ManagedPolicy&) = delete;
  ManagedPolicy& operator=(const ManagedPolicy&) = delete;

 private:
  const fs::path path_ = "/etc/chromium/policies/managed/impthermorvane-bridge-test.json";
};

struct BrowserCase {
  const char* name;
  bool allowed;     // the page's origin is in the bridge's list
  bool publicPage;  // Chromium counts the page's address as a public site
  bool policy;      // LocalNetworkAccessAllowedForUrls lists the page's origin
  // The page imports the module from the bridge, not from its own folder (a
  // page the bridge or the browser refuses could not load it from there).
  bool moduleFromBridge;
  const char* result;  // the start of what the page writes
  // Another user's bridge (nobody's, allowing the page too) holds the page's
  // first port, and this user's has the next: the client must pass it.
  bool otherUserFirst = false;
};

void PrintTo(const BrowserCase& c, std::ostream* os) { *os << c.name; }

class BridgeBrowserTest : public ::testing::TestWithParam<BrowserCase> {
 protected:
  fakes::TempDir dir;
};

// The page's parameters, as a page of the application would send them.
std::string PageParams(const std::string& streamUrl) {
  return R"({"prnType":"4","fileOut":"FILE","streamUrl":")" + streamUrl + R"(","nbEtiquColis":"2"})";
}

TEST_P(BridgeBrowserTest, PageReachesTheBridgeOnlyWhenItsSiteIsAllowed) {
  const BrowserCase& c = GetParam();
  const std::string source = IMPTHERM_SOURCE_DIR;
  fs::create_directories(dir.path() + "www");
  fs::create_directories(dir.path() + "tmp");
  fs::copy_file(std::string(IMPTHERM_TEST_DATA) + "/labels/two_records.txt", dir.path() + "www/labels.txt");
  fs::copy_file(std::string(IMPTHERM_TEST_DATA) + "/bridge/page.html", dir.path() + "www/page.html");
  fs::copy_file(source + "/src/bridge/web/impthermorvane.js", dir.path() + "www/impthermorvane.js");
  testing::FolderServer pages(dir.path() + "www", dir.path() + "pages.log");
  ASSERT_NE(pages.port(), 0) << "the page server did not start: " << dir.Read("pages.log");
  const std::string origin = "http://127.0.0.1:" + std::to_string(pages.port());
  const std::string streamUrl = origin + "/labels.txt";

  const std::string bridgeTemp = EnvOr("IMPTHERM_BRIDGE_TEMP", dir.path() + "tmp");
  const std::string jobFile = bridgeTemp + "/etiquettesOrvane.txt";
  fs::remove(jobFile);
  const int port = c.otherUserFirst ? testing::FreeLoopbackPorts(2) : testing::FreeLoopbackPort();
  std::unique_ptr<Bridge> others;
  if (c.otherUserFirst) {
    others = std::make_unique<Bridge>(
        "/usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups " + std::string(IMPTHERM_PROGRAM) +
            " serve --batch --port " + std::to_string(port) + " --allow-origin " + origin,
        std::map<std::string, std::string>{{"TMPDIR", "/tmp"}}, dir.path() + "others.log", port);
    ASSERT_TRUE(others->listening()) << dir.Read("others.log");
  }
  const int own = c.otherUserFirst ? port + 1 : port;
  // A refused page's bridge allows another origin, so the list is not empty.
  const std::string allowed = c.allowed ? origin : "http://127.0.0.1:1";
  Bridge bridge(EnvOr("IMPTHERM_BRIDGE_COMMAND", IMPTHERM_PROGRAM) + " serve --batch --port " + std::to_string(own) +
                    " --allow-origin " + allowed,
                {{"TMPDIR", dir.path() + "tmp"}, {"ALLUSERSPROFILE", dir.path() + "profile"}},
                dir.path() + "bridge.log", own);
  ASSERT_TRUE(bridge.listening()) << dir.Read("bridge.log");

  std::unique_ptr<ManagedPolicy> policy;
  if (c.policy)
    policy = std::make_unique<ManagedPolicy>(R"({"LocalNetworkAccessAllowedForUrls": [")" + origin + R"("]})");
  const std::string module =
      c.moduleFromBridge ? "http://127.0.0.1:" + std::to_string(port) + "/impthermorvane.js" : "./impthermorvane.js";
  const std::string url = origin + "/page.html?port=" + std::to_string(port) + "&module=" + PercentEncode(module) +
                          "&params=" + PercentEncode(PageParams(streamUrl));
  std::string browser = "timeout 90 " + EnvOr("IMPTHERM_CHROMIUM", "chromium") +
                        " --headless=new --no-sandbox --disable-gpu --no-first-run --virtual-time-budget=15000"
                        " --user-data-dir=" +
                        dir.path() + "profile-chromium";
  if (c.publicPage) browser += " --ip-address-space-overrides=127.0.0.1:" + std::to_string(pages.port()) + "=public";
  browser += " --dump-dom '" + url + "' >" + dir.path() + "dom.html 2>" + dir.path() + "chromium.log";
  const int status = std::system(browser.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "chromium failed (" << status << "): " << dir.Read("chromium.log");

  std::smatch m;
  const std::string dom = dir.Read("dom.html");
  ASSERT_TRUE(std::regex_search(dom, m, std::regex("<pre id=\"result\">([^<]*)</pre>"))) << dom;
  const std::string result = m[1];
  RecordProperty("page", result);
  ASSERT_EQ(result.rfind(c.result, 0), 0u) << result << "\nbridge log:\n" << dir.Read("bridge.log");
  if (others) {
    EXPECT_NE(dir.Read("others.log").find("other-user"), std::string::npos) << dir.Read("others.log");
  }
  if (result.find("print ok") != std::string::npos) {
    // The same run by the command line gives the reference job file.
    std::string why;
    const std::string expected = testing::ReferenceJobFile(streamUrl, dir.path() + "ref", why);
    ASSERT_FALSE(expected.empty()) << why;
    EXPECT_EQ(fakes::ReadFile(jobFile), expected);
  } else {
    EXPECT_FALSE(fs::exists(jobFile));
    EXPECT_EQ(dir.Read("pages.log").find("GET /labels.txt"), std::string::npos) << "a refused page's data was fetched";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, BridgeBrowserTest,
    ::testing::Values(BrowserCase{"AllowedOrigin", true, false, false, true, "connect ok; stop not-found; print ok 0 "},
                      BrowserCase{"OriginNotInTheList", false, false, false, false,
                                  "connect origin-refused; stop origin-refused; print error origin-refused 403 "},
                      BrowserCase{"PublicSiteListedByPolicy", true, true, true, true,
                                  "connect ok; stop not-found; print ok 0 "},
                      BrowserCase{"PublicSiteWithoutPolicy", true, true, false, false,
                                  "connect unreachable; stop unreachable; print error unreachable 0 "},
                      BrowserCase{"OtherUsersBridgeOnTheFirstPort", true, false, false, false,
                                  "connect ok; stop not-found; print ok 0 ", true}),
    [](const ::testing::TestParamInfo<BrowserCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace imptherm
