// The bridge's answers without sockets: every refusal and the CORS and
// preflight headers, over the handler and a queue whose runs never start.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "bridge/handler.h"
#include "platform/error.h"
#include "platform/posix/posix_system.h"

namespace imptherm::bridge {
namespace {

constexpr char kSite[] = "https://labels.example.com";
constexpr char kRun[] = R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":"http://labels.example.com/d.txt",)"
                        R"("proxyPassword":"SECRETPW"},"firstSlot":2})";

BridgeRequest Request(const std::string& method, const std::string& target, const std::string& origin,
                      const std::string& type = "", std::string body = "") {
  BridgeRequest r;
  r.method = method;
  r.target = target;
  r.host = "127.0.0.1:9180";
  r.hasOrigin = true;
  r.origin = origin;
  r.contentType = type;
  r.body = std::move(body);
  return r;
}

struct Bridge {
  std::vector<std::string> log;
  std::vector<std::shared_ptr<PrintRunEntry>> started;
  bool printServerDown = false;
  ConfigStore config{"/nonexistent/bridge.json",
                     {{kSite, {"labels.example.com", "proxy.example.com:3128"}},
                      RuleForOrigin("http://127.0.0.1:8000"),
                      RuleForOrigin("http://127.0.0.1:8001"),
                      RuleForOrigin("http://127.0.0.1:8002"),
                      RuleForOrigin("http://127.0.0.1:8003")},
                     [this](const std::string& l) { log.push_back(l); }};
  RunQueue queue{[this](std::shared_ptr<PrintRunEntry> r) { started.push_back(r); }};
  BridgeHandler handler{config, queue, {9180, "export {};", [this](const std::string& l) { log.push_back(l); }}};
  // The answer, with the printer list taken as the server takes it.
  BridgeResponse Answer(const BridgeRequest& request) {
    BridgeResponse r = handler.Handle(request);
    if (!r.listPrinters) return r;
    return handler.PrintersAnswer(request, TakePrinterListing([this] {
                                    if (printServerDown)
                                      throw PlatformError("the print server 127.0.0.1:631 cannot be reached");
                                    return std::vector<PrinterEntry>{{"Zebra", true}};
                                  }));
  }
  BridgeResponse Post(const std::string& body, const std::string& origin = kSite) {
    return handler.Handle(Request("POST", "/v1/print-runs", origin, "application/json", body));
  }
};

BridgeRequest Get(const std::string& target) { return Request("GET", target, kSite); }

struct Case {
  const char* name;
  BridgeRequest request;
  int status;
  const char* code;  // "" for an answer that is no error
  bool cors;
  const char* header = "";  // a header the answer must carry, "name: value"
  const char* says = "";    // a text the answer's body must hold
};

TEST(BridgeHandlerTest, AnswersAndRefusals) {
  auto post = [](const char* type, std::string body, const char* origin = kSite) {
    return Request("POST", "/v1/print-runs", origin, type, std::move(body));
  };
  auto preflight = [](bool pna, bool lna, const char* origin = kSite) {
    BridgeRequest r = Request("OPTIONS", "/v1/print-runs", origin);
    r.host = "localhost:9180";
    r.requestPrivateNetwork = pna;
    r.requestLocalNetwork = lna;
    return r;
  };
  BridgeRequest noOrigin = Get("/v1/version");
  noOrigin.hasOrigin = false;
  noOrigin.origin.clear();
  BridgeRequest otherOrigin = Get("/v1/version");
  otherOrigin.origin = "https://labels.example.com:444";
  BridgeRequest forgedHost = Get("/v1/version");
  forgedHost.host = "labels.example.com:9180";
  BridgeRequest otherPort = Get("/v1/version");
  otherPort.host = "127.0.0.1:9181";
  BridgeRequest v6Host = Get("/v1/printers");
  v6Host.host = "[::1]:9180";
  BridgeRequest scriptAnyone = Get("/impthermorvane.js");
  scriptAnyone.origin = "https://elsewhere.example";
  BridgeRequest tooLarge = post("application/json", "{}");
  tooLarge.bodyTooLarge = true;
  BridgeRequest deletePlain = Request("DELETE", "/v1/print-runs/x", kSite, "text/plain");
  BridgeRequest otherUser = post("application/json", kRun);
  otherUser.otherUser = "the process at the other end runs as another user (uid 1001)";
  BridgeRequest scriptOtherUser = scriptAnyone;
  scriptOtherUser.otherUser = otherUser.otherUser;
  // Controls that would forge a log line or steer the terminal showing it.
  BridgeRequest c1Origin = Get("/v1/version");
  c1Origin.origin =
      "https://a.example\x9b"
      "2K\xc2\x9b"
      "31m";
  const std::string forgedLine = "\\u001b[2K\\r\\n2026-12-09T01:18:05Z impthermorvane serve: stopping";

  const Case cases[] = {
      {"version", Get("/v1/version"), 200, "", true, "Vary: Origin"},
      {"printers over ::1", v6Host, 200, "", true},
      {"no origin", noOrigin, 403, "origin-refused", false},
      {"origin of another port", otherOrigin, 403, "origin-refused", false},
      {"forged Host", forgedHost, 403, "host-refused", false},
      {"Host of another port", otherPort, 403, "host-refused", false},
      {"preflight", preflight(false, false), 204, "", true, "Access-Control-Allow-Methods: GET, POST, DELETE"},
      {"preflight, private network", preflight(true, false), 204, "", true,
       "Access-Control-Allow-Private-Network: true"},
      {"preflight, local network", preflight(false, true), 204, "", true, "Access-Control-Allow-Local-Network: true"},
      {"preflight of a refused origin", preflight(true, true, "https://evil.example"), 403, "origin-refused", false},
      {"simple POST", post("text/plain", kRun), 415, "content-type", true},
      {"form POST", post("application/x-www-form-urlencoded", kRun), 415, "content-type", true},
      {"DELETE as text", deletePlain, 415, "content-type", true},
      {"body over the limit", tooLarge, 413, "too-large", true},
      {"not JSON", post("application/json", "{"), 400, "bad-request", true},
      {"unknown parameter", post("application/json", R"({"params":{"prnTyp":"4"}})"), 400, "bad-request", true},
      {"parameter name with controls", post("application/json", R"({"params":{")" + forgedLine + R"(":"1"}})"), 400,
       "bad-request", true},
      {"origin with C1 controls", c1Origin, 403, "origin-refused", false},
      {"path with controls", Get("/v1/\x9b\x1b[31m\xc2\x9b"), 404, "not-found", true},
      {"parameter not a text", post("application/json", R"({"params":{"prnType":4}})"), 400, "bad-request", true},
      {"params not an object", post("application/json", R"({"params":[]})"), 400, "bad-request", true, "",
       "params must be an object of page parameters, each a name and a text value"},
      {"slot out of range", post("application/json", R"({"params":{},"firstSlot":5})"), 400, "bad-request", true},
      {"streamUrl to another host",
       post("application/json", R"({"params":{"streamUrl":"http://intranet.example.com/x"}})"), 403,
       "stream-host-refused", true},
      {"streamUrl to another port",
       post("application/json", R"({"params":{"streamUrl":"http://labels.example.com:8080/x"}})"), 403,
       "stream-host-refused", true},
      {"proxy not listed",
       post("application/json",
            R"({"params":{"streamUrl":"http://labels.example.com/x","proxyEnable":"TRUE","proxyHttp":"10.0.0.1:80"}})"),
       403, "stream-host-refused", true},
      {"proxy listed",
       post(
           "application/json",
           R"({"params":{"streamUrl":"http://labels.example.com/x","proxyEnable":"true","proxyHttp":"proxy.example.com:3128"}})"),
       202, "", true},
      {"streamUrl with an upper-case scheme",
       post("application/json", R"({"params":{"streamUrl":"HTTP://labels.example.com/x"}})"), 202, "", true},
      {"command-line origin, own host",
       post("application/json", R"({"params":{"streamUrl":"http://127.0.0.1:8000/x"}})", "http://127.0.0.1:8000"), 202,
       "", true},
      {"run", post("application/json; charset=utf-8", kRun), 202, "", true},
      {"unknown path", Get("/v2/version"), 404, "not-found", true},
      {"unknown run", Get("/v1/print-runs/nope"), 404, "not-found", true},
      {"script for anyone", scriptAnyone, 200, "", true, "Access-Control-Allow-Origin: *"},
      {"another user's process", otherUser, 403, "other-user", true, "Access-Control-Allow-Origin: *"},
      {"script for another user's process", scriptOtherUser, 200, "", true, "Access-Control-Allow-Origin: *"},
  };
  for (const Case& c : cases) {
    Bridge b;
    const BridgeResponse r = b.Answer(c.request);
    EXPECT_EQ(r.status, c.status) << c.name << ": " << r.body;
    EXPECT_EQ(!r.Header("Access-Control-Allow-Origin").empty(), c.cors) << c.name;
    if (*c.code) {
      EXPECT_NE(r.body.find(std::string("\"code\":\"") + c.code + "\""), std::string::npos) << c.name;
      EXPECT_EQ(b.log.size(), 1u) << c.name << ": one bridge log line per refusal";
    }
    EXPECT_EQ(b.started.size(), c.status == 202 ? 1u : 0u) << c.name;
    if (*c.header) {
      const std::string h = c.header;
      EXPECT_EQ(r.Header(h.substr(0, h.find(':'))), h.substr(h.find(':') + 2)) << c.name;
    }
    EXPECT_NE(r.body.find(c.says), std::string::npos) << c.name << ": " << r.body;
    // The run is given a scheme its download takes for one.
    for (const auto& run : b.started)
      for (const auto& [name, value] : run->params)
        if (name == "streamUrl") {
          EXPECT_EQ(value.rfind("http://", 0), 0u) << c.name << ": " << value;
        }
    for (const std::string& line : b.log) {
      EXPECT_EQ(line.find("SECRETPW"), std::string::npos) << c.name;
      EXPECT_EQ(line.find_first_of("\x1b\r\n\x9b"), std::string::npos) << c.name << ": " << line;
    }
    EXPECT_EQ(r.body.find("SECRETPW"), std::string::npos) << c.name;
  }
}

TEST(BridgeHandlerTest, APrintServerThatCannotBeReachedIsNoEmptyList) {
  Bridge b;
  b.printServerDown = true;
  const BridgeResponse r = b.Answer(Get("/v1/printers"));
  EXPECT_EQ(r.status, 502);
  EXPECT_NE(r.body.find("\"print-server\""), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("127.0.0.1:631 cannot be reached"), std::string::npos) << r.body;
}

// An origin's runs beyond its share of the queue are refused, and any run
// beyond the queue's size; a run is seen only by its own origin; the events
// kept per run stay bounded.
TEST(BridgeHandlerTest, QueueSharesRunsOfOtherOriginsAndEventLimit) {
  Bridge b;
  std::string first;
  std::set<std::string> halves;
  for (std::size_t i = 0; i <= kOriginShare; ++i) {
    const BridgeResponse r = b.Post(kRun);
    ASSERT_EQ(r.status, 202) << i;
    const std::string id = r.body.substr(7, r.body.find('"', 7) - 7);
    if (i == 1) first = id;
    // 128 random bits: no part of an id counts the runs before it.
    EXPECT_EQ(id.size(), 32u) << id;
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    EXPECT_TRUE(halves.insert(id.substr(0, 16)).second && halves.insert(id.substr(16)).second) << id;
  }
  // Beyond its share an origin waits; the others fill the rest of the queue.
  const BridgeResponse share = b.Post(kRun);
  EXPECT_EQ(share.status, 429);
  EXPECT_NE(share.body.find("\"origin-queue-full\""), std::string::npos) << share.body;
  const std::string streamUrl = R"({"params":{"prnType":"4","fileOut":"FILE","streamUrl":"http://127.0.0.1:)";
  for (int port = 8000; b.queue.waiting() < kQueueCapacity; ++port)
    for (std::size_t i = 0; i < kOriginShare; ++i) {
      const std::string origin = "http://127.0.0.1:" + std::to_string(port);
      ASSERT_EQ(b.Post(streamUrl + std::to_string(port) + "/d\"}}", origin).status, 202) << origin;
    }
  EXPECT_EQ(b.Post(streamUrl + "8003/d\"}}", "http://127.0.0.1:8003").status, 503);
  BridgeRequest other = Request("GET", "/v1/print-runs/" + first, "http://127.0.0.1:8000");
  EXPECT_EQ(b.handler.Handle(other).status, 404);
  EXPECT_EQ(b.handler.Handle(Get("/v1/print-runs/" + first)).status, 200);
  EXPECT_EQ(b.handler.Handle(Get("/v1/print-runs/" + first + "/events")).eventsOf, b.queue.Find(first));

  auto& run = *b.started.front();
  for (std::size_t i = 0; i < kMaxEventsPerRun + 5; ++i) run.AddEvent({"line", "{}"});
  EXPECT_EQ(run.events.size(), kMaxEventsPerRun);
  EXPECT_EQ(run.firstKept, 5u);

  b.queue.CancelAll();
  EXPECT_NE(b.Post(kRun).body.find("\"stopping\""), std::string::npos);
}

TEST(BridgeConfigTest, FileEntries) {
  struct Row {
    const char* text;
    bool ok;
    const char* origin;
    std::size_t hosts;
  } rows[] = {
      {R"({"port":9000,"origins":[{"origin":"HTTPS://Labels.Example.com:443/","streamHosts":["a","b:8443"]}]})", true,
       "https://labels.example.com", 2},
      {R"({"origins":[{"origin":"http://127.0.0.1:8000"}]})", true, "http://127.0.0.1:8000", 1},
      {R"({"port":0})", false, "", 0},
      {R"({"origins":[{"origin":"null"}]})", false, "", 0},
      {R"({"origins":[{"origin":"file:///x"}]})", false, "", 0},
      {R"({"origins":[{"origin":"https://a.example/path"}]})", false, "", 0},
      {R"({"origins":[{"origin":"https://a.example","streamHosts":["a/b"]}]})", false, "", 0},
      {R"({"origin":[]})", false, "", 0},
      {"[", false, "", 0},
  };
  for (const Row& row : rows) {
    auto config = ParseBridgeConfig(row.text);
    EXPECT_EQ(static_cast<bool>(config), row.ok) << row.text;
    if (!row.ok) {
      EXPECT_FALSE(config.error().empty()) << row.text;
    } else {
      EXPECT_EQ(config->origins.at(0).origin, row.origin);
      EXPECT_EQ(config->origins.at(0).streamHosts.size(), row.hosts);
    }
  }
}

// A changed file is read at the next request, even one put in place with the
// old time; a bad one keeps the last good configuration and says why; a
// deleted one allows nothing.
TEST(BridgeConfigTest, ReadAgainWhenChanged) {
  const std::string path = ::testing::TempDir() + "bridge-reload.json";
  std::vector<std::string> log;
  ConfigStore store(path, {}, [&](const std::string& l) { log.push_back(l); });
  auto write = [&](const std::string& text, int second) {
    std::ofstream(path, std::ios::trunc) << text;
    std::filesystem::last_write_time(path, std::filesystem::file_time_type() + std::chrono::seconds(second));
    store.Refresh();
  };
  write(R"({"origins":[{"origin":"https://a.example"}]})", 1);
  EXPECT_NE(store.Find("https://a.example"), nullptr);
  write(R"({"origins":[{"origin":"https://b.example"}]})", 2);
  EXPECT_EQ(store.Find("https://a.example"), nullptr);
  EXPECT_NE(store.Find("https://b.example"), nullptr);
  write(R"({"origins":[{"origin":"https://c.example"}],)", 3);
  EXPECT_NE(store.Find("https://b.example"), nullptr);
  EXPECT_NE(log.back().find("keeping the last good one: not a JSON object"), std::string::npos) << log.back();
  // Deleting the file takes back every origin it listed.
  std::filesystem::remove(path);
  store.Refresh();
  EXPECT_EQ(store.Find("https://b.example"), nullptr);
  EXPECT_NE(log.back().find("is gone"), std::string::npos) << log.back();
  // Another file of the same size and time put in its place (touch -r, mv).
  write(R"({"origins":[{"origin":"https://b.example"}]})", 4);
  std::ofstream(path + ".new") << R"({"origins":[{"origin":"https://d.example"}]})";
  std::filesystem::last_write_time(path + ".new", std::filesystem::last_write_time(path));
  std::filesystem::rename(path + ".new", path);
  store.Refresh();
  EXPECT_EQ(store.Find("https://b.example"), nullptr);
  EXPECT_NE(store.Find("https://d.example"), nullptr);
  std::filesystem::remove(path);
}

// A file that others than the bridge's user may change, or one in a folder
// they may write (a sticky one like /tmp too), allows nothing, and the log
// says why.
TEST(BridgeConfigTest, RefusedWhenOthersMayChangeIt) {
  namespace fs = std::filesystem;
  const std::string folder = ::testing::TempDir() + "bridge-trust";
  const std::string path = folder + "/bridge.json";
  struct Row {
    fs::perms file, folder;
    const char* why;  // "" when the file is read
  } rows[] = {
      {fs::perms(0600), fs::perms(0700), ""},
      {fs::perms(0666), fs::perms(0700), "refused: other users can write it"},
      {fs::perms(0620), fs::perms(0755), "refused: other users can write it"},
      {fs::perms(0644), fs::perms(0777), "refused: its folder "},
      {fs::perms(0644), fs::perms(01777), "refused: its folder "},
  };
  for (const Row& row : rows) {
    fs::create_directories(folder);
    std::ofstream(path, std::ios::trunc) << R"({"origins":[{"origin":"http://evil.test"}]})";
    fs::permissions(path, row.file);
    fs::permissions(folder, row.folder);
    std::vector<std::string> log;
    ConfigStore store(
        path, {RuleForOrigin("https://own.example")}, [&](const std::string& l) { log.push_back(l); },
        posix::WhyOthersMayChange);
    store.Refresh();
    EXPECT_EQ(store.Find("http://evil.test") != nullptr, !*row.why) << row.why;
    EXPECT_NE(store.Find("https://own.example"), nullptr);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find(*row.why ? row.why : " read: 1 origin(s)"), std::string::npos) << log[0];
    fs::permissions(folder, fs::perms(0700));
    fs::remove_all(folder);
  }
}

}  // namespace
}  // namespace imptherm::bridge
