// The bridge driven by real browsers, headless Chromium and Firefox ESR, over
// one table of pages: a page loads from one loopback port, its script reaches
// the bridge on another through impthermorvane.js, and the page sends what
// came of the print run to its own server (GET /result?TEXT), whose request
// log the test reads. The label data is served by the page's own server, so
// the page's host is the one its streamUrl may name.
//
// IMPTHERM_BRIDGE_COMMAND starts the bridge (default: the built program; for
// the Windows build, for example "/usr/lib/wine/wine64 build-win64/impthermorvane.exe"), and
// IMPTHERM_BRIDGE_TEMP is the folder its job file lands in when that is not
// the TMPDIR the test gives it (Wine's is inside the prefix).
// IMPTHERM_CHROMIUM and IMPTHERM_FIREFOX name the browsers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <thread>
#include <tuple>

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

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void Replace(std::string& text, const std::string& what, const std::string& with) {
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size())
    text.replace(at, what.size(), with);
}

// Waits up to `seconds` for `done`.
bool WaitFor(int seconds, const std::function<bool()>& done) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

// A command in a process group of its own (a browser's helpers and Wine's
// included), its output in `logPath`. The group gets SIGTERM at the end,
// and SIGKILL for whatever is left after `graceSeconds`.
class ProcessGroup {
 public:
  ProcessGroup(const std::string& command, const std::map<std::string, std::string>& env, const std::string& logPath,
               int graceSeconds)
      : grace_(graceSeconds) {
    std::fflush(nullptr);  // or the child writes the test's pending output again
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
    ::setpgid(pid_, pid_);
  }
  ~ProcessGroup() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    // The leader stays unreaped until the group is killed, so that its id
    // cannot name another process meanwhile.
    WaitFor(grace_, [&] { return Exited(); });
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ProcessGroup(const ProcessGroup&) = delete;
  ProcessGroup& operator=(const ProcessGroup&) = delete;
  bool Exited() const {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid_;
  }

 private:
  pid_t pid_ = -1;
  int grace_;
};

// A browser policy file that exists for one case, removed however the case
// ends, with the folders made for it. A file of the machine's own is never
// replaced: placed() is then false.
class ManagedPolicy {
 public:
  ManagedPolicy(const fs::path& path, const std::string& json) : path_(path) {
    if (fs::exists(path_)) return;
    for (fs::path folder = path_.parent_path(); !fs::exists(folder); folder = folder.parent_path())
      made_.insert(made_.begin(), folder);
    fs::create_directories(path_.parent_path());
    std::ofstream(path_) << json;
    placed_ = true;
  }
  ~ManagedPolicy() {
    std::error_code ignored;
    if (placed_) fs::remove(path_, ignored);
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) fs::remove(*it, ignored);
  }
  ManagedPolicy(const ManagedPolicy&) = delete;
  ManagedPolicy& operator=(const ManagedPolicy&) = delete;
  bool placed() const { return placed_; }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::vector<fs::path> made_;
  bool placed_ = false;
};

enum class Browser { kChromium, kFirefox };

std::string Program(Browser browser) {
  return browser == Browser::kChromium ? EnvOr("IMPTHERM_CHROMIUM", "chromium")
                                       : EnvOr("IMPTHERM_FIREFOX", "firefox-esr");
}

struct PageCase {
  const char* name;
  bool allowed;     // the page's origin is in the bridge's list
  bool publicPage;  // the browser counts the page's address as a public site
  bool policy;      // the browser's Local Network Access policy lists the page's site
  // The page imports the module from the bridge, as the documentation shows,
  // not from its own folder.
  bool moduleFromBridge;
  bool csrf;  // the page sends the bridge what needs no preflight instead of using the client
  // The start of what the page reports; {origin} is the page's origin,
  // {bridge} the bridge's address.
  const char* result;
  // Another user's bridge (nobody's, allowing the page too) holds the page's
  // first port, and this user's has the next: the client must pass it.
  bool otherUserFirst = false;
};

constexpr char kRefused[] =
    "connect origin-refused; stop origin-refused; print error origin-refused 403 the bridge at {bridge} does not allow "
    "pages of {origin}: add \"{origin}\" to \"origins\" in its configuration file bridge.json (the bridge's log names "
    "it), or start it with --allow-origin {origin}";

const PageCase kPages[] = {
    {"AllowedOrigin", true, false, false, true, false, "connect ok; stop not-found; print ok 0 "},
    {"OriginNotInTheList", false, false, false, false, false, kRefused},
    {"RefusedPageImportsTheClientFromTheBridge", false, false, false, true, false, kRefused},
    {"CsrfFromARefusedPage", false, false, false, false, true, "csrf sent"},
    {"PublicSiteListedByPolicy", true, true, true, true, false, "connect ok; stop not-found; print ok 0 "},
    // The module comes from the page's own folder: the browser would not
    // let a public page load it from the bridge either.
    {"PublicSiteWithoutPolicy", true, true, false, false, false,
     "connect unreachable; stop unreachable; print error unreachable 0 "},
    {"OtherUsersBridgeOnTheFirstPort", true, false, false, true, false, "connect ok; stop not-found; print ok 0 ",
     true},
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

using BrowserCase = std::tuple<Browser, PageCase>;

std::string CaseName(const ::testing::TestParamInfo<BrowserCase>& info) {
  return std::string(std::get<0>(info.param) == Browser::kChromium ? "Chromium_" : "Firefox_") +
         std::get<1>(info.param).name;
}

class BridgeBrowserTest : public ::testing::TestWithParam<BrowserCase> {
 protected:
  // The browser's command for `url`, with its own fresh profile; a page
  // that the browser counts as public when `publicPort` is not 0.
  std::string Command(Browser browser, const std::string& url, int publicPort) {
    const std::string profile = dir.path() + "browser-profile";
    fs::create_directories(profile);
    if (browser == Browser::kChromium) {
      std::string command =
          Program(browser) + " --headless=new --no-sandbox --disable-gpu --no-first-run --user-data-dir=" + profile;
      if (publicPort) command += " --ip-address-space-overrides=127.0.0.1:" + std::to_string(publicPort) + "=public";
      return command + " '" + url + "'";
    }
    if (publicPort)
      std::ofstream(profile + "/user.js")
          << "user_pref(\"network.lna.address_space.public.override\", \"127.0.0.1:" << publicPort << "\");\n";
    return Program(browser) + " --headless --no-remote --profile " + profile + " '" + url + "'";
  }
  // Whether the bridge of `group`, which writes to `logName`, said in time
  // that it listens on `port`.
  bool Listening(const ProcessGroup& group, const std::string& logName, int port) {
    const std::string ready = "listening on http://127.0.0.1:" + std::to_string(port);
    return WaitFor(std::stoi(EnvOr("IMPTHERM_BRIDGE_START_SECONDS", "30")),
                   [&] { return group.Exited() || dir.Read(logName).find(ready) != std::string::npos; }) &&
           !group.Exited();
  }
  // The policy that lets the page's site reach the local network.
  static std::unique_ptr<ManagedPolicy> Policy(Browser browser, const std::string& origin) {
    if (browser == Browser::kChromium)
      return std::make_unique<ManagedPolicy>("/etc/chromium/policies/managed/impthermorvane-bridge-test.json",
                                             R"({"LocalNetworkAccessAllowedForUrls": [")" + origin + R"("]})");
    return std::make_unique<ManagedPolicy>("/etc/firefox/policies/policies.json",
                                           R"({"policies": {"LocalNetworkAccess": {"SkipDomains": ["127.0.0.1"]}}})");
  }

  fakes::TempDir dir;
};

TEST_P(BridgeBrowserTest, PageReachesTheBridgeOnlyWhenItsSiteIsAllowed) {
  const auto& [browser, c] = GetParam();
  const std::string program = Program(browser);
  ASSERT_EQ(std::system(("command -v " + program.substr(0, program.find(' ')) + " >/dev/null").c_str()), 0)
      << program << " is missing (scripts/setup.sh test installs it)";
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
  std::unique_ptr<ProcessGroup> others;
  if (c.otherUserFirst) {
    others = std::make_unique<ProcessGroup>(
        "/usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups " + std::string(IMPTHERM_PROGRAM) +
            " serve --batch --port " + std::to_string(port) + " --allow-origin " + origin,
        std::map<std::string, std::string>{{"TMPDIR", "/tmp"}}, dir.path() + "others.log", 10);
    ASSERT_TRUE(Listening(*others, "others.log", port)) << dir.Read("others.log");
  }
  const int own = c.otherUserFirst ? port + 1 : port;
  const std::string bridgeUrl = "http://127.0.0.1:" + std::to_string(own);
  // A refused page's bridge allows another origin, so the list is not empty.
  const std::string allowed = c.allowed ? origin : "http://127.0.0.1:1";
  ProcessGroup bridge(EnvOr("IMPTHERM_BRIDGE_COMMAND", IMPTHERM_PROGRAM) + " serve --batch --port " +
                          std::to_string(own) + " --allow-origin " + allowed,
                      {{"TMPDIR", dir.path() + "tmp"}, {"ALLUSERSPROFILE", dir.path() + "profile"}},
                      dir.path() + "bridge.log", 10);
  ASSERT_TRUE(Listening(bridge, "bridge.log", own)) << dir.Read("bridge.log");

  std::unique_ptr<ManagedPolicy> policy;
  if (c.policy) {
    policy = Policy(browser, origin);
    ASSERT_TRUE(policy->placed()) << "the machine has a " << policy->path() << " of its own, left as it is";
  }
  // From the first port, as a page written for one user's machine would.
  const std::string module =
      c.moduleFromBridge ? "http://127.0.0.1:" + std::to_string(port) + "/impthermorvane.js" : "./impthermorvane.js";
  const std::string url =
      origin + "/page.html?port=" + std::to_string(port) + "&module=" + PercentEncode(module) + "&params=" +
      PercentEncode(R"({"prnType":"4","fileOut":"FILE","streamUrl":")" + streamUrl + R"(","nbEtiquColis":"2"})") +
      (c.csrf ? "&csrf=1" : "");
  const std::regex reported("\"GET /result\\?([^ \"]*) HTTP");
  std::string result;
  {
    ProcessGroup page(Command(browser, url, c.publicPage ? pages.port() : 0), {}, dir.path() + "browser.log", 5);
    // The slowest case waits for three requests that the browser holds
    // until each times out after 5 s.
    bool reportedOnce = false;
    WaitFor(90, [&] {
      std::smatch m;
      const std::string log = dir.Read("pages.log");
      reportedOnce = std::regex_search(log, m, reported);
      if (reportedOnce) result = PercentDecode(m[1]);
      return reportedOnce || page.Exited();
    });
    ASSERT_TRUE(reportedOnce) << "no result from the page\nbrowser:\n"
                              << dir.Read("browser.log") << "\npage server:\n"
                              << dir.Read("pages.log") << "\nbridge log:\n"
                              << dir.Read("bridge.log");
    // Each attempt that needs no preflight reached the bridge and was refused.
    for (const char* how : {"form", "fetch", "beacon"}) {
      if (c.csrf) {
        const std::string refused = std::string("refused POST /v1/print-runs?") + how + " from " + origin;
        EXPECT_TRUE(
            WaitFor(10, [&] { return dir.Read("bridge.log").find(refused + ": origin-refused") != std::string::npos; }))
            << how << " did not reach the bridge, or it was not refused:\n"
            << dir.Read("bridge.log");
      }
    }
  }
  RecordProperty("page", result);
  std::string expected = c.result;
  Replace(expected, "{bridge}", bridgeUrl);
  Replace(expected, "{origin}", origin);
  ASSERT_EQ(result.rfind(expected, 0), 0u) << result << "\nexpected: " << expected << "\nbridge log:\n"
                                           << dir.Read("bridge.log");
  if (others) {
    EXPECT_NE(dir.Read("others.log").find("other-user"), std::string::npos) << dir.Read("others.log");
  }
  if (result.find("print ok") != std::string::npos) {
    // The same run by the command line gives the reference job file.
    std::string why;
    const std::string reference = testing::ReferenceJobFile(streamUrl, dir.path() + "ref", why);
    ASSERT_FALSE(reference.empty()) << why;
    EXPECT_EQ(fakes::ReadFile(jobFile), reference);
  } else {
    EXPECT_FALSE(fs::exists(jobFile));
    EXPECT_EQ(dir.Read("pages.log").find("GET /labels.txt"), std::string::npos) << "a refused page's data was fetched";
    EXPECT_EQ(dir.Read("bridge.log").find(": queued"), std::string::npos) << dir.Read("bridge.log");
  }
  // The bridge's log tells its user where to allow a refused page.
  if (!c.allowed) {
    EXPECT_NE(dir.Read("bridge.log").find("bridge.json or with --allow-origin " + origin), std::string::npos)
        << dir.Read("bridge.log");
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, BridgeBrowserTest,
                         ::testing::Combine(::testing::Values(Browser::kChromium, Browser::kFirefox),
                                            ::testing::ValuesIn(kPages)),
                         CaseName);

}  // namespace
}  // namespace imptherm
