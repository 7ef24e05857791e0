#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "fakes/fake_platform.h"
#include "loopback_server.h"
#include "platform/posix/posix_network.h"
#include "platform/posix/posix_ntlm.h"
#include "retrieval/retrieval.h"
#include "run/module.h"
#include "squid_proxy.h"

namespace imptherm {
namespace {
using testing::LoopbackServer;
using testing::ServerReply;

std::string Answer(const std::string& status, const std::string& body, bool keep = false,
                   const std::string& extra = "") {
  return "HTTP/1.0 " + status + "\r\n" + extra + (keep ? "Connection: keep-alive\r\n" : "") +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

// The retrieval over real sockets; the person and the system are fakes.
class PeersTest : public ::testing::Test {
 protected:
  PeersTest() : module(platform), retrieval(module.platform, module.state, module.runLog) {
    module.runLog.SetWorkFolder(f.temp.path());
  }

  int Get(const std::string& url, const std::string& extra = "") {
    return retrieval.HttpExchange("GET", url, file, extra, memo);
  }
  std::vector<std::string> Log() {
    std::vector<std::string> lines;
    std::string text = f.temp.Read("OWTMP.LOG");
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(text.substr(pos + f.system.timeStamp.size() + 1, end - pos - f.system.timeStamp.size() - 1));
    return lines;
  }
  long Echoed(const std::string& line) { return std::count(memo.lines.begin(), memo.lines.end(), line); }

  fakes::FakePlatform f;
  posix::PosixNetwork network;
  posix::PosixNtlm ntlm{f.system};
  Platform platform = f.With({.network = &network, .ntlm = &ntlm});
  Module module;
  Retrieval retrieval;
  fakes::FakeMemo memo;
  std::string file = f.temp.path() + "DataThermOrvane.txt";
};

TEST_F(PeersTest, KeptConnectionIsReusedAndReopenedWhenTheServerDroppedIt) {
  LoopbackServer server([](const std::string& request, int) {
    return ServerReply{Answer("200 OK", RequestLine(request), true), false};
  });
  EXPECT_EQ(Get(server.url("/one")), 200);
  EXPECT_EQ(Get(server.url("/two")), 200);
  EXPECT_EQ(server.accepted(), 1);
  server.CloseIdle();
  EXPECT_EQ(Get(server.url("/three")), 200);
  EXPECT_EQ(server.connections(), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(fakes::ReadFile(file), "GET /three HTTP/1.0");
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(PeersTest, RedirectToAnotherPortOpensANewConnectionThere) {
  LoopbackServer target([](const std::string&, int) { return ServerReply{Answer("200 OK", "arrived")}; });
  LoopbackServer first([&](const std::string&, int) {
    return ServerReply{Answer("302 Found", "see there", true, "Location: " + target.url("/final") + "\r\n"), false};
  });
  EXPECT_EQ(Get(first.url("/start")), 200);
  EXPECT_EQ(fakes::ReadFile(file), "arrived");
  ASSERT_EQ(target.requests().size(), 1u);
  EXPECT_NE(target.requests()[0].find("\r\nHost: 127.0.0.1:" + std::to_string(target.port()) + "\r\n"),
            std::string::npos);
}

TEST_F(PeersTest, ErrorStatusAndEarlyCloseAndChunkedBodies) {
  int n = 0;
  LoopbackServer server([&](const std::string&, int) {
    switch (n++) {
      case 0: return ServerReply{Answer("404 Not Found", "<html>nothing</html>")};
      case 1: return ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly part"};
      default:
        return ServerReply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"};
    }
  });
  EXPECT_EQ(Get(server.url()), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.0 404 Not Found -> "});
  EXPECT_EQ(fakes::ReadFile(file), "");
  EXPECT_EQ(Get(server.url()), 0);
  EXPECT_EQ(f.ui.messages.size(), 1u);  // quiet
  EXPECT_EQ(Get(server.url()), 200);
  EXPECT_EQ(fakes::ReadFile(file), "abcde");
}

TEST_F(PeersTest, LargeBodyIsStreamedToTheFileInBoundedMemory) {
  const std::size_t size = 64u * 1024 * 1024 + 17;
  LoopbackServer server([&](const std::string&, int) {
    return ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n", true, size};
  });
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(Get(server.url("/big")), 200);
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  // The peak resident size may not grow by anything near the body's size.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024);
  std::FILE* in = std::fopen(file.c_str(), "rb");
  ASSERT_TRUE(in);
  std::string block(1 << 20, '\0');
  std::size_t offset = 0, bad = 0;
  for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), in)) > 0; offset += got)
    for (std::size_t i = 0; i < got; ++i) bad += block[i] != LoopbackServer::FillByte(offset + i);
  std::fclose(in);
  EXPECT_EQ(offset, size);
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(Log()[9], "Length of data : " + std::to_string(size));
}

TEST_F(PeersTest, DownloadReadsTheLabelDataFile) {
  LoopbackServer server([](const std::string&, int) {
    return ServerReply{Answer("200 OK", "ETIQUETTES\nEn-t\xEAte\nIT\n{KAV\nA\r\nB")};
  });
  f.system.tempPath = f.temp.path();
  LabelData data = retrieval.DownloadLabelData("127.0.0.1:" + std::to_string(server.port()) + "/get.asp", "S=1", memo);
  EXPECT_TRUE(data.downloaded);
  ASSERT_EQ(data.lines.size(), 3u);
  EXPECT_EQ(data.lines[2], "B");
  EXPECT_EQ(data.header.CaptionBase, 3000);
  EXPECT_EQ(RequestLine(server.requests().at(0)), "GET /get.asp HTTP/1.0");
}

// A module whose retrieval goes through `network`; the rest is fake.
struct World {
  explicit World(Network& network)
      : platform{f.system,   f.ui,    f.resources, f.printers,    f.serialPorts, f.portDevices,
                 f.profiles, network, f.ntlm,      f.proxyDialog, f.documents,   f.chooser},
        module(platform),
        retrieval(module.platform, module.state, module.runLog) {
    module.runLog.SetWorkFolder(f.temp.path());
  }
  int Get(const std::string& url) { return retrieval.HttpExchange("GET", url, file, "", memo); }
  std::string LastLogLine() {
    const std::string log = f.temp.Read("OWTMP.LOG");
    const std::size_t start = log.rfind("\r\n", log.size() - 3) + 2 + f.system.timeStamp.size() + 1;
    return log.substr(start, log.size() - 2 - start);
  }

  fakes::FakePlatform f;
  Platform platform;
  Module module;
  Retrieval retrieval;
  fakes::FakeMemo memo;
  std::string file = f.temp.path() + "DataThermOrvane.txt";
};

// One scripted answer played by the fake network and by a real socket: both
// must end the exchange the same way, or the unit tests prove nothing.
TEST(ScriptedAnswerTest, FakeAndRealSocketEndTheExchangeAlike) {
  const std::string part(300, 'L');  // three quarters of a 400-byte body
  struct Case {
    const char* name;
    std::string bytes;
    bool reset;
    bool box;  // a lost connection shows the box; an early close is quiet
  } cases[] = {
      {"reset in a body that ends when the server closes", "HTTP/1.0 200 OK\r\n\r\n" + part, true, true},
      {"reset in a body of announced length", "HTTP/1.0 200 OK\r\nContent-Length: 400\r\n\r\n" + part, true, true},
      {"close before the announced length", "HTTP/1.0 200 OK\r\nContent-Length: 400\r\n\r\n" + part, false, false},
  };
  for (const Case& c : cases) {
    for (bool real : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (real ? " (socket)" : " (fake)"));
      fakes::FakeNetwork fake;
      posix::PosixNetwork sockets;
      World w(real ? static_cast<Network&>(sockets) : fake);
      fake.replies.push_back({c.bytes, true, false, c.reset});
      LoopbackServer server([&](const std::string&, int) { return ServerReply{c.bytes, true, 0, c.reset}; });
      EXPECT_EQ(w.Get(server.url()), 0);
      EXPECT_EQ(fakes::ReadFile(w.file), part);
      ASSERT_EQ(w.f.ui.messages.size(), c.box ? 1u : 0u);
      if (c.box) {
        EXPECT_EQ(w.f.ui.messages[0], w.LastLogLine() + " -> ");
      }
      EXPECT_EQ(w.f.temp.Read("OWTMP.LOG").find("Http code"), std::string::npos);
    }
  }
}

// The limits are shortened here; the mechanism is the one of the real run.
TEST(SilentPeerTest, ConnectingAndWaitingForBytesHaveLimits) {
  testing::FullListenQueue full;
  LoopbackServer server([](const std::string& request, int) {
    if (request.find("/mute") != std::string::npos) return ServerReply{"", false};
    return ServerReply{"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nstart", false};
  });
  const std::string fullUrl = "http://127.0.0.1:" + std::to_string(full.port()) + "/";
  const std::string peer = "127.0.0.1:" + std::to_string(server.port());
  struct Case {
    std::string url, message;
  } cases[] = {
      {fullUrl,
       "Connexion impossible \xE0 127.0.0.1:" + std::to_string(full.port()) + " : pas de r\xE9ponse en 300 ms -> "},
      {server.url("/mute"),
       "Aucune donn\xE9"
       "e re\xE7ue de " +
           peer + " en 400 ms -> "},
      {server.url("/headers-only"),
       "Aucune donn\xE9"
       "e re\xE7ue de " +
           peer + " en 400 ms -> "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    posix::PosixNetwork sockets;
    World w(sockets);
    w.retrieval.client().connectLimitMs = 300;
    w.retrieval.client().silenceLimitMs = 400;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(w.Get(c.url), 0);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(w.f.ui.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(w.LastLogLine() + " -> ", c.message);
  }
}

// Through a real squid.

class SquidTest : public PeersTest {
 protected:
  SquidTest() : origin([](const std::string&, int) { return ServerReply{Answer("200 OK", "through the proxy")}; }) {}
  void UseProxy(const testing::SquidProxy& squid, const std::string& user, const std::string& password,
                const std::string& domain = "") {
    module.state.Proxy = {true, squid.address(), domain, user, password};
  }
  LoopbackServer origin;
};

TEST_F(SquidTest, BasicWithPageCredentialsNeedsNoDialog) {
  testing::SquidProxy squid({"basic"});
  UseProxy(squid, "jean", "secret");
  EXPECT_EQ(Get(origin.url("/data?x=1")), 200);
  EXPECT_EQ(fakes::ReadFile(file), "through the proxy");
  EXPECT_TRUE(f.proxyDialog.shown.empty());
  EXPECT_EQ(Echoed("REQUETE : "), 2);
  EXPECT_EQ(Echoed("Proxy-Authorization: Basic ********"), 1);
  EXPECT_EQ(Echoed("REPONSE : 407"), 1);
  EXPECT_EQ(Echoed("Proxy-Authenticate: Basic realm=\"impthermtest\""), 1);
  auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "ProxyUsername : jean"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Proxy [127.0.0.1]"), log.end());
  ASSERT_EQ(origin.requests().size(), 1u);
}

TEST_F(SquidTest, RefusedBasicMakesFourRequestsThenTheErrorBox) {
  testing::SquidProxy squid({"basic"});
  UseProxy(squid, "jean", "wrong", "DOM");
  EXPECT_EQ(Get(origin.url()), 0);
  EXPECT_EQ(Echoed("REQUETE : "), 4);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 407 Proxy Authentication Required -> "});
  EXPECT_EQ(Log().back(), "HTTP/1.1 407 Proxy Authentication Required");
  EXPECT_TRUE(origin.requests().empty());
}

TEST_F(SquidTest, DialogSuppliesTheCredentialsWhenThePageHasNone) {
  testing::SquidProxy squid({"basic"});
  UseProxy(squid, "", "", "");
  f.proxyDialog.answers.push_back({"jean", "secret", ""});
  EXPECT_EQ(Get(origin.url()), 200);
  EXPECT_EQ(f.proxyDialog.shown.size(), 1u);
  EXPECT_EQ(module.state.Proxy.proxyUser, "jean");
}

TEST_F(SquidTest, NtlmOfferedFirstIsAnsweredWithNtlmOnOneConnection) {
  testing::SquidProxy squid({"ntlm", "basic"});
  UseProxy(squid, "jean", "secret", "DOM");
  EXPECT_EQ(Get(origin.url()), 200);
  EXPECT_EQ(fakes::ReadFile(file), "through the proxy");
  EXPECT_EQ(Echoed("Proxy-Authorization: NTLM ********"), 2);
  EXPECT_EQ(Echoed("Proxy-Authorization: Basic ********"), 0);
  auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Authentification demand\xE9"
                      "e : NTLM"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "ProxyUsername : DOM\\jean"), log.end());
}

TEST_F(SquidTest, OnlyNegotiateOfferedFailsAtOnce) {
  testing::SquidProxy squid({"negotiate"});
  UseProxy(squid, "jean", "secret");
  EXPECT_EQ(Get(origin.url()), 0);
  EXPECT_EQ(Echoed("REQUETE : "), 1);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 407 Proxy Authentication Required -> "});
}

// The built program, with a real server.

struct ProgramRun {
  int status = -1;
  std::string out;
};
ProgramRun RunProgram(const std::string& tmp, const std::string& args) {
  const std::string command = "TMPDIR=" + tmp + " " + IMPTHERM_PROGRAM + " print --batch " + args + " 2>&1 </dev/null";
  ProgramRun run;
  std::FILE* p = ::popen(command.c_str(), "r");
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, p)) > 0;) run.out.append(block, n);
  int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(ProgramExchangeTest, UpdateModeSendsTheVersionWithTheCookieAndLogsEveryStep) {
  fakes::TempDir tmp;
  LoopbackServer server([](const std::string&, int) { return ServerReply{Answer("200 OK", "VERSION OK")}; });
  const std::string url = "127.0.0.1:" + std::to_string(server.port()) + "/app/UpdatePlugin.asp?id=1";
  ProgramRun run = RunProgram(
      tmp.path(), "--param prnType=1 --param fileOut=FILE --param streamUrl=" + url + " --param Cookie=ASP=abc");
  EXPECT_EQ(run.status, 0) << run.out;
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0],
            "GET /app/UpdatePlugin.asp?id=1&version=1,0,0,20 HTTP/1.0\r\n"
            "Connection: Keep-Alive\r\n"
            "Content-Type: application/zip\r\n"
            "Cookie: ASP=abc\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.port()) +
                "\r\n"
                "Accept: text/html, */*\r\n"
                "User-Agent: " +
                std::string(HttpClient::kUserAgent) + "\r\n\r\n");
  EXPECT_EQ(tmp.Read("DataThermOrvane.txt"), "VERSION OK");
  const std::string log = tmp.Read("OWTMP.LOG");
  for (std::string line : {"Debut du transfert ... (" + url + "&version=1,0,0,20)", std::string("Site  [127.0.0.1]"),
                           "Port  [" + std::to_string(server.port()) + "]",
                           std::string("Path  [/app/UpdatePlugin.asp?id=1&version=1,0,0,20]"),
                           std::string("Pas de Proxy"), std::string("Cookie[Cookie: ASP=abc]"),
                           std::string("___GET___"), "Fichier : " + tmp.path() + "DataThermOrvane.txt",
                           std::string("Http code : 200"), std::string("Length of data : 10")})
    EXPECT_NE(log.find(" " + line + "\r\n"), std::string::npos) << line << "\n" << log;
  EXPECT_NE(run.out.find("REQUETE : "), std::string::npos);
  EXPECT_NE(run.out.find("Cookie: ASP=abc"), std::string::npos);
}

TEST(ProgramExchangeTest, ProxyWithoutCredentialsInBatchShowsNoDialogAndFails) {
  fakes::TempDir tmp;
  testing::SquidProxy squid({"basic"});
  LoopbackServer origin([](const std::string&, int) { return ServerReply{Answer("200 OK", "x")}; });
  ProgramRun run =
      RunProgram(tmp.path(), "--param prnType=1 --param fileOut=FILE --param streamUrl=" + origin.url("/get.asp") +
                                 " --param proxyEnable=true --param proxyHttp=" + squid.address());
  EXPECT_EQ(run.status, 3) << run.out;
  EXPECT_EQ(run.out.find("Param\xC3\xA8tres d'authentification Proxy"), std::string::npos);
  EXPECT_NE(run.out.find("407 Proxy Authentication Required -> "), std::string::npos) << run.out;
  EXPECT_TRUE(origin.requests().empty());
}

TEST(ProgramExchangeTest, DialogOnATerminalSuppliesTheProxyCredentials) {
  fakes::TempDir tmp;
  testing::SquidProxy squid({"basic"});
  LoopbackServer origin([](const std::string&, int) { return ServerReply{Answer("200 OK", "VERSION OK")}; });
  // The program on a pseudo-terminal, with the person's answers typed ahead:
  // user, password, the domain kept as shown, then Valider.
  tmp.Write("run.sh",
            "#!/bin/sh\nexec " + std::string(IMPTHERM_PROGRAM) +
                " print --param prnType=1 --param fileOut=FILE --param streamUrl=" + origin.url("/UPDATEPLUGIN.asp") +
                " --param proxyEnable=true --param proxyHttp=" + squid.address() + "\n");
  const std::string command = "chmod +x " + tmp.path() +
                              "run.sh && printf 'jean\\nsecret\\n\\nv\\n' | TMPDIR=" + tmp.path() +
                              " timeout 30 socat -t 10 - EXEC:" + tmp.path() + "run.sh,pty,setsid,ctty,stderr 2>&1";
  std::string out;
  std::FILE* p = ::popen(command.c_str(), "r");
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, p)) > 0;) out.append(block, n);
  const int status = ::pclose(p);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "socat is needed for this test\n" << out;
  EXPECT_NE(out.find("[Param\xC3\xA8tres d'authentification Proxy]"), std::string::npos) << out;
  EXPECT_NE(out.find("Veuillez saisir les param\xC3\xA8tres d'authentification de votre proxy :"), std::string::npos);
  EXPECT_EQ(out.find("<Erreur>"), std::string::npos) << out;
  ASSERT_EQ(origin.requests().size(), 1u) << out;
  EXPECT_EQ(tmp.Read("DataThermOrvane.txt"), "VERSION OK");
  EXPECT_NE(tmp.Read("OWTMP.LOG").find(" ProxyUsername : jean\r\n"), std::string::npos);
}

}  // namespace
}  // namespace imptherm
