#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "retrieval/base64.h"
#include "retrieval/retrieval.h"
#include "run/module.h"

namespace imptherm {
namespace {
using fakes::FakeReply;

std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.0 200 OK\r\n" + extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string Kept(const std::string& head, const std::string& body) {
  return head + "Connection: keep-alive\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
FakeReply KeptReply(const std::string& head, const std::string& body) { return {Kept(head, body), false}; }

// One module's retrieval over the scripted network.
struct ExchangeWorld {
  ExchangeWorld() : module(f.platform), retrieval(module.platform, module.state, module.runLog) {
    module.runLog.SetWorkFolder(f.temp.path());
  }

  int Get(const std::string& url, const std::string& extra = "") {
    return retrieval.HttpExchange("GET", url, file, extra, memo);
  }
  void Reply(const std::string& bytes) { f.network.replies.push_back({bytes}); }
  // The run log without its time stamps.
  std::vector<std::string> Log() {
    std::vector<std::string> lines;
    std::string text = f.temp.Read("OWTMP.LOG");
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(text.substr(pos + f.system.timeStamp.size() + 1, end - pos - f.system.timeStamp.size() - 1));
    return lines;
  }
  long Logged(const std::string& line) {
    auto log = Log();
    return std::count(log.begin(), log.end(), line);
  }
  const std::string& Request(std::size_t i) { return f.network.requests.at(i); }
  void UseProxy(const std::string& user, const std::string& password, const std::string& domain = "") {
    module.state.Proxy = {true, "proxy:3128", domain, user, password};
  }

  fakes::FakePlatform f;
  Module module;
  Retrieval retrieval;
  fakes::FakeMemo memo;
  std::string file = f.temp.path() + "DataThermOrvane.txt";
};

class ExchangeTest : public ::testing::Test, public ExchangeWorld {};

TEST_F(ExchangeTest, DirectRequestHasTheHeadersInOrderAndTheBodyLandsInTheFile) {
  Reply(Ok("ETIQUETTES\r\n"));
  EXPECT_EQ(Get("srv:8080/app/get.asp?id=1", "Cookie: ASP=abc"), 200);
  ASSERT_EQ(f.network.requests.size(), 1u);
  EXPECT_EQ(Request(0),
            "GET /app/get.asp?id=1 HTTP/1.0\r\n"
            "Connection: Keep-Alive\r\n"
            "Content-Type: application/zip\r\n"
            "Cookie: ASP=abc\r\n"
            "Host: srv:8080\r\n"
            "Accept: text/html, */*\r\n"
            "User-Agent: " +
                std::string(HttpClient::kUserAgent) + "\r\n\r\n");
  EXPECT_EQ(f.network.connects, std::vector<std::string>{"srv:8080"});
  EXPECT_EQ(fakes::ReadFile(file), "ETIQUETTES\r\n");
  EXPECT_EQ(Log(), (std::vector<std::string>{"Debut du transfert ... (srv:8080/app/get.asp?id=1)", "Site  [srv]",
                                             "Port  [8080]", "Path  [/app/get.asp?id=1]", "Pas de Proxy",
                                             "Cookie[Cookie: ASP=abc]", "___GET___", "Fichier : " + file,
                                             "Http code : 200", "Length of data : 12", "Getting in : 0 ms"}));
  EXPECT_EQ(f.ui.busyDepth, 0);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(ExchangeTest, HostCarriesNoPortForEightyAndTheLogShowsEmptyPathAndCookie) {
  Reply(Ok(""));
  EXPECT_EQ(Get("http://srv"), 200);
  EXPECT_EQ(Request(0).substr(0, 22), "GET / HTTP/1.0\r\nConnec");
  EXPECT_NE(Request(0).find("\r\nHost: srv\r\n"), std::string::npos);
  EXPECT_EQ(Request(0).find("Cookie"), std::string::npos);
  auto log = Log();
  EXPECT_EQ(log[1], "Site  [srv]");
  EXPECT_EQ(log[2], "Port  [80]");
  EXPECT_EQ(log[3], "Path  []");
  EXPECT_EQ(log[5], "Cookie[]");
}

TEST_F(ExchangeTest, EchoShowsEachRequestsHeadersAfterEmptyingTheMemo) {
  memo.lines = {"Impression en cours"};
  Reply(Ok("x"));
  Get("http://srv/a", "Cookie: k=v");
  EXPECT_EQ(memo.lines,
            (std::vector<std::string>{"REQUETE : ", "Connection: Keep-Alive", "Content-Type: application/zip",
                                      "Cookie: k=v", "Host: srv", "Accept: text/html, */*",
                                      "User-Agent: " + std::string(HttpClient::kUserAgent), std::string(59, '_'), ""}));
}

TEST_F(ExchangeTest, ProxyGetsTheAbsoluteUrlAndTheLogNamesIt) {
  UseProxy("u", "p");
  Reply(Ok("x"));
  EXPECT_EQ(Get("http://srv:81/app?x=1"), 200);
  EXPECT_EQ(f.network.connects, std::vector<std::string>{"proxy:3128"});
  EXPECT_EQ(Request(0).substr(0, Request(0).find("\r\n")), "GET http://srv:81/app?x=1 HTTP/1.0");
  EXPECT_EQ(Log()[4], "Proxy [proxy]");
  EXPECT_EQ(Log()[5], "PxPrt [3128]");
  EXPECT_EQ(Request(0).find("Proxy-Authorization"), std::string::npos);  // nothing before a challenge
}

TEST_F(ExchangeTest, ProxyWithoutUsablePortConnectsDirectly) {
  for (std::string setting : {"proxy", "proxy:abc", "proxy:"}) {
    module.state.Proxy.proxyHttp = setting;
    Reply(Ok("x"));
    Get("http://srv/");
    EXPECT_EQ(f.network.connects.back(), "srv:80") << setting;
  }
  EXPECT_EQ(Log()[4], "Pas de Proxy");
}

TEST_F(ExchangeTest, ErrorStatusShowsTheBoxLogsTheStatusLineAndLeavesAnEmptyFile) {
  f.temp.Write("DataThermOrvane.txt", "old content");
  Reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!");
  EXPECT_EQ(Get("http://srv/x"), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 404 Not Found -> "});
  EXPECT_EQ(Log().back(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(fakes::ReadFile(file), "");
  EXPECT_EQ(f.ui.busyDepth, 0);
}

TEST_F(ExchangeTest, ServerClosingBeforeTheAnswerIsCompleteFailsQuietly) {
  for (std::string partial :
       {"", "HTTP/1.0 200 OK\r\nContent-Le", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n12345"}) {
    Reply(partial);
    EXPECT_EQ(Get("http://srv/"), 0) << partial;
  }
  EXPECT_TRUE(f.ui.messages.empty());
  for (const std::string& line : Log()) EXPECT_EQ(line.find("Http code"), std::string::npos);
}

TEST_F(ExchangeTest, UnreachableServerFailsWithTheBox) {
  f.network.refuse = true;
  EXPECT_EQ(Get("http://srv:99/"), 0);
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0], "Connexion impossible \xE0 srv:99 -> ");
}

TEST_F(ExchangeTest, BadAnswersFailWithAClearText) {
  struct Case {
    std::string reply, message;
  } cases[] = {
      {"SSH-2.0-OpenSSH\r\n\r\n", "R\xE9ponse du serveur illisible : SSH-2.0-OpenSSH -> "},
      {"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", "Content-Length incorrect : -5 -> "},
      {"HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n", "Content-Length incorrect : 12abc -> "},
      {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", "Content-Length contradictoires -> "},
      {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       "Corps de r\xE9ponse fragment\xE9 incorrect : taille de fragment illisible -> "},
  };
  for (const Case& c : cases) {
    f.ui.messages.clear();
    Reply(c.reply);
    EXPECT_EQ(Get("http://srv/"), 0);
    EXPECT_EQ(f.ui.messages, std::vector<std::string>{c.message});
  }
}

TEST_F(ExchangeTest, HeadBeyondSixtyFourKibibytesIsRefused) {
  std::string head = "HTTP/1.0 200 OK\r\n";
  while (head.size() <= kMaxResponseHead) head += "X-Filler: " + std::string(100, 'f') + "\r\n";
  f.network.piece = 4096;
  Reply(head + "\r\nbody");
  EXPECT_EQ(Get("http://srv/"), 0);
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0], "En-t\xEAte de r\xE9ponse trop long (plus de 65536 octets) -> ");
}

TEST_F(ExchangeTest, HeadJustUnderTheLimitIsAccepted) {
  std::string head = "HTTP/1.0 200 OK\r\n";
  while (head.size() < kMaxResponseHead - 200) head += "X-Filler: " + std::string(100, 'f') + "\r\n";
  f.network.piece = 4096;
  Reply(head + "Content-Length: 2\r\n\r\nok");
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "ok");
}

TEST_F(ExchangeTest, HeaderLinesWithoutColonAreIgnoredAndLineEndsMayBeBare) {
  Reply("HTTP/1.0 200 OK\nnonsense line\nContent-Length: 3\n\nabc");
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "abc");
}

TEST_F(ExchangeTest, ChunkedAndUntilCloseBodiesAreWrittenWhole) {
  Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n6\r\n world\r\n0\r\nX-T: 1\r\n\r\n");
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "hello world");
  EXPECT_EQ(Log()[9], "Length of data : 11");
  Reply("HTTP/1.0 200 OK\r\n\r\nuntil the end");
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "until the end");
}

TEST_F(ExchangeTest, TruncatedChunkedBodyFailsQuietly) {
  Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel");
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(ExchangeTest, KeptConnectionServesTheNextExchange) {
  f.network.replies.push_back(KeptReply("HTTP/1.0 200 OK\r\n", "one"));
  f.network.replies.push_back(KeptReply("HTTP/1.0 200 OK\r\n", "two"));
  EXPECT_EQ(Get("http://srv/1"), 200);
  EXPECT_EQ(Get("http://srv/2"), 200);
  EXPECT_EQ(f.network.connects.size(), 1u);
  EXPECT_EQ(f.network.requestConnection, (std::vector<int>{1, 1}));
  EXPECT_EQ(fakes::ReadFile(file), "two");
}

TEST_F(ExchangeTest, AnswerWithoutKeepAliveIsNotReused) {
  f.network.replies.push_back({Ok("one"), false});
  Reply(Ok("two"));
  Get("http://srv/1");
  Get("http://srv/2");
  EXPECT_EQ(f.network.connects.size(), 2u);
}

TEST_F(ExchangeTest, KeptConnectionClosedMeanwhileIsReopenedOnce) {
  f.network.replies.push_back(KeptReply("HTTP/1.0 200 OK\r\n", "one"));
  Reply(Ok("two"));
  Get("http://srv/1");
  f.network.closeIdle = true;  // seen as closed before sending
  EXPECT_EQ(Get("http://srv/2"), 200);
  EXPECT_EQ(f.network.connects.size(), 2u);
  EXPECT_EQ(f.network.requests.size(), 2u);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(ExchangeTest, KeptConnectionThatDropsTheRequestIsRetriedOnANewOne) {
  f.network.replies.push_back(KeptReply("HTTP/1.0 200 OK\r\n", "one"));
  f.network.replies.push_back({"", true});  // the server hangs up without a word
  Reply(Ok("two"));
  Get("http://srv/1");
  EXPECT_EQ(Get("http://srv/2"), 200);
  EXPECT_EQ(f.network.requestConnection, (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(fakes::ReadFile(file), "two");
  EXPECT_EQ(std::count(memo.lines.begin(), memo.lines.end(), "REQUETE : "), 1);  // transparent
}

TEST_F(ExchangeTest, RedirectsAreFollowedWithTheFileEmptiedAgain) {
  Reply("HTTP/1.0 302 Found\r\nLocation: /next?a=1\r\nContent-Length: 5\r\n\r\nmoved");
  Reply("HTTP/1.0 301 Moved\r\nLocation: http://other:8081/final\r\n\r\nbody of redirect");
  Reply(Ok("final"));
  EXPECT_EQ(Get("http://srv/start"), 200);
  ASSERT_EQ(f.network.requests.size(), 3u);
  EXPECT_EQ(Request(1).substr(0, Request(1).find("\r\n")), "GET /next?a=1 HTTP/1.0");
  EXPECT_NE(Request(1).find("Host: srv\r\n"), std::string::npos);
  EXPECT_EQ(Request(2).substr(0, Request(2).find("\r\n")), "GET /final HTTP/1.0");
  EXPECT_NE(Request(2).find("Host: other:8081\r\n"), std::string::npos);
  EXPECT_EQ(f.network.connects, (std::vector<std::string>{"srv:80", "srv:80", "other:8081"}));
  EXPECT_EQ(fakes::ReadFile(file), "final");
  EXPECT_EQ(std::count(memo.lines.begin(), memo.lines.end(), "REQUETE : "), 3);
}

TEST_F(ExchangeTest, TheAnswerToTheFifteenthRequestIsFinalEvenWhenItRedirects) {
  for (int i = 0; i < 20; ++i)
    Reply("HTTP/1.0 302 Found\r\nLocation: /r" + std::to_string(i) + "\r\n\r\nr" + std::to_string(i));
  EXPECT_EQ(Get("http://srv/"), 302);
  EXPECT_EQ(f.network.requests.size(), 15u);
  EXPECT_EQ(fakes::ReadFile(file), "r14");
  EXPECT_EQ(Log()[8], "Http code : 302");
}

TEST_F(ExchangeTest, LocationOnAnOkAnswerIsFollowedToo) {
  Reply("HTTP/1.0 200 OK\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n");
  Reply(Ok("there"));
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "there");
}

TEST_F(ExchangeTest, RedirectThatNamesNoHostFails) {
  Reply("HTTP/1.0 302 Found\r\nLocation: http:///nohost\r\n\r\n");
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"Redirection impossible : http:///nohost -> "});
}

TEST_F(ExchangeTest, RedirectWithoutLocationIsAnErrorStatus) {
  Reply("HTTP/1.0 302 Found\r\n\r\n");
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.0 302 Found -> "});
}

TEST_F(ExchangeTest, SlowRedirectBodyIsAbandonedWithItsConnection) {
  f.network.replies.push_back(
      {"HTTP/1.0 302 Found\r\nLocation: /b\r\nContent-Length: 100\r\n\r\npartial", false, true});
  Reply(Ok("b"));
  EXPECT_EQ(Get("http://srv/a"), 200);
  EXPECT_EQ(f.network.connects.size(), 2u);
  EXPECT_EQ(fakes::ReadFile(file), "b");
}

TEST_F(ExchangeTest, DroppedBodiesWaitFourSecondsErrorBodiesTwoAndFinalBodiesUntilTheServerFallsSilent) {
  auto stalled = [](const std::string& head) {
    return FakeReply{head + "\r\nContent-Length: 50\r\n\r\nabc", false, true};
  };
  f.network.replies.push_back(stalled("HTTP/1.0 302 Found\r\nLocation: /b"));
  Reply(Ok("final body"));
  f.network.receiveLimits.clear();
  Get("http://srv/a");
  const std::vector<int> redirect(f.network.receiveLimits);
  EXPECT_NE(std::find(redirect.begin(), redirect.end(), 4000), redirect.end());
  EXPECT_NE(std::find(redirect.begin(), redirect.end(), HttpClient::kSilenceLimitMs), redirect.end());
  for (int limit : redirect) EXPECT_TRUE(limit == HttpClient::kSilenceLimitMs || (limit > 0 && limit <= 4000)) << limit;

  f.network.receiveLimits.clear();
  f.network.replies.push_back(stalled("HTTP/1.0 500 Server Error"));
  EXPECT_EQ(Get("http://srv/a"), 0);
  EXPECT_EQ(f.ui.messages.back(), "HTTP/1.0 500 Server Error -> ");
  EXPECT_EQ(f.network.receiveLimits.back(), 2000);
}

TEST_F(ExchangeTest, BrokenConnectionLosesADroppedBodyButFailsAKeptOne) {
  f.network.replies.push_back(
      {"HTTP/1.0 302 Found\r\nLocation: /b\r\nContent-Length: 100\r\n\r\nhalf", false, false, true});
  Reply(Ok("b"));
  EXPECT_EQ(Get("http://srv/a"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "b");
  f.network.replies.push_back({"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nhalf", false, false, true});
  EXPECT_EQ(Get("http://srv/a"), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"connection reset by peer -> "});
  EXPECT_EQ(fakes::ReadFile(file), "half");  // what was written stays
}

TEST_F(ExchangeTest, CookiesSetByAnswersReplaceThePageCookieLine) {
  Reply(Ok("a", "Set-Cookie: SID=1; Path=/\r\nset-cookie2: lang=fr; Version=1\r\n"));
  Reply(Ok("b"));
  Reply(Ok("c"));
  Get("http://srv/app/one", "Cookie: page=0");
  Get("http://srv/app/two", "Cookie: page=0");
  Get("http://other/", "Cookie: page=0");
  EXPECT_NE(Request(0).find("\r\nCookie: page=0\r\n"), std::string::npos);
  EXPECT_NE(Request(1).find("Content-Type: application/zip\r\nCookie: lang=fr; SID=1\r\nHost: srv\r\n"),
            std::string::npos);
  EXPECT_EQ(Request(1).find("page=0"), std::string::npos);
  EXPECT_NE(Request(2).find("\r\nCookie: page=0\r\n"), std::string::npos);  // another host
}

TEST_F(ExchangeTest, EachExchangeSendsOnlyItsOwnCookieLine) {
  Reply(Ok("a"));
  Reply(Ok("b"));
  Get("http://srv/", "Cookie: first=1");
  Get("http://srv/", "Cookie: second=2");
  EXPECT_EQ(Request(1).find("first"), std::string::npos);
  EXPECT_NE(Request(1).find("Cookie: second=2\r\n"), std::string::npos);
}

TEST_F(ExchangeTest, PageCookieCannotInjectHeaderLines) {
  Reply(Ok("a"));
  Get("http://srv/", "Cookie: a=1\r\nX-Evil: 1");
  EXPECT_EQ(Request(0).find("X-Evil"), std::string::npos);
}

TEST_F(ExchangeTest, AnnouncedSizeSurvivesAnAnswerWithoutBody) {
  Reply(Ok("12345"));
  Reply("HTTP/1.0 204 No Content\r\n\r\n");
  Get("http://srv/");
  EXPECT_EQ(Get("http://srv/"), 204);
  EXPECT_EQ(Log().back(), "Getting in : 0 ms");
  EXPECT_EQ(Log()[Log().size() - 2], "Length of data : 5");
}

TEST_F(ExchangeTest, UnwritableFileFailsWithTheBoxBeforeAnythingIsSent) {
  file = f.temp.path() + "missing/folder/file.txt";
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_TRUE(f.network.requests.empty());
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_NE(f.ui.messages[0].find("cannot create"), std::string::npos);
}

// Proxy authentication

std::string Challenge(const std::string& schemes, const std::string& connection = "keep-alive") {
  std::string head = "HTTP/1.1 407 Proxy Authentication Required\r\n";
  std::string_view rest = schemes;
  while (!rest.empty()) {
    auto bar = rest.find('|');
    head += "Proxy-Authenticate: " + std::string(rest.substr(0, bar)) + "\r\n";
    rest.remove_prefix(bar == std::string_view::npos ? rest.size() : bar + 1);
  }
  return head + "Connection: " + connection + "\r\nContent-Length: 4\r\n\r\ndeny";
}

TEST_F(ExchangeTest, BasicWithPageCredentialsNeedsNoDialog) {
  UseProxy("jean", "secret", "DOM");
  f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  ASSERT_EQ(f.network.requests.size(), 2u);
  EXPECT_NE(Request(1).find("\r\nProxy-Authorization: Basic " + Base64Encode("DOM\\jean:secret") + "\r\n\r\n"),
            std::string::npos);
  EXPECT_TRUE(f.proxyDialog.shown.empty());
  auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Authentification demand\xE9"
                      "e : Basic"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "ProxyUsername : DOM\\jean"), log.end());
  for (const std::string& line : log) EXPECT_EQ(line.find("secret"), std::string::npos);
  // The echo shows the scheme and the 407, never the credentials.
  EXPECT_NE(std::find(memo.lines.begin(), memo.lines.end(), "Proxy-Authorization: Basic ********"), memo.lines.end());
  EXPECT_NE(std::find(memo.lines.begin(), memo.lines.end(), "REPONSE : 407"), memo.lines.end());
  EXPECT_NE(std::find(memo.lines.begin(), memo.lines.end(), "Proxy-Authenticate: Basic realm=\"x\""), memo.lines.end());
  for (const std::string& line : memo.lines) EXPECT_EQ(line.find(Base64Encode("DOM\\jean:secret")), std::string::npos);
  EXPECT_EQ(f.network.connects.size(), 1u);  // the challenge was drained on the kept connection
}

TEST_F(ExchangeTest, RefusingBasicProxySeesFourRequestsThenTheErrorBox) {
  UseProxy("jean", "wrong");
  for (int i = 0; i < 6; ++i) f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.network.requests.size(), 4u);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 407 Proxy Authentication Required -> "});
  EXPECT_EQ(Log().back(), "HTTP/1.1 407 Proxy Authentication Required");
}

TEST_F(ExchangeTest, NoCredentialsOpensTheDialogWithThePageDomainAndUsesWhatWasTyped) {
  UseProxy("", "", "DOM");
  f.proxyDialog.answers.push_back({"marie", "pw", "DOM2"});
  f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  ASSERT_EQ(f.proxyDialog.shown.size(), 1u);
  EXPECT_EQ(f.proxyDialog.shown[0].domain, "DOM");
  EXPECT_EQ(f.proxyDialog.shown[0].user, "");
  EXPECT_NE(Request(1).find("Proxy-Authorization: Basic " + Base64Encode("DOM2\\marie:pw")), std::string::npos);
  EXPECT_EQ(module.state.Proxy.proxyUser, "marie");
  EXPECT_EQ(module.state.Proxy.proxyDomaine, "DOM2");

  // The next print run starts without page credentials again: the dialog
  // shows the values typed the first time, with the page's domain.
  module.state.Proxy = {true, "proxy:3128", "DOM", "", ""};
  f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
  Reply(Ok("data"));
  Get("http://srv/");
  ASSERT_EQ(f.proxyDialog.shown.size(), 2u);
  EXPECT_EQ(f.proxyDialog.shown[1].user, "marie");
  EXPECT_EQ(f.proxyDialog.shown[1].password, "pw");
  EXPECT_EQ(f.proxyDialog.shown[1].domain, "DOM");
}

TEST_F(ExchangeTest, AbandonedDialogWithBasicShowsItTwiceThenFails) {
  UseProxy("", "");
  f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.proxyDialog.shown.size(), 2u);
  EXPECT_EQ(f.network.requests.size(), 1u);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 407 Proxy Authentication Required -> "});
  EXPECT_EQ(Logged("ProxyUsername : "), 2);
}

TEST_F(ExchangeTest, OneCredentialGivenMeansNoDialog) {
  UseProxy("jean", "");
  f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_TRUE(f.proxyDialog.shown.empty());
  EXPECT_NE(Request(1).find(Base64Encode("jean:")), std::string::npos);
}

TEST_F(ExchangeTest, NtlmOfferedFirstIsChosenAndRunsOnOneConnection) {
  UseProxy("jean", "secret", "DOM");
  f.network.replies.push_back({Challenge("NTLM|Basic realm=\"x\""), false});
  f.network.replies.push_back({Challenge("NTLM " + Base64Encode("CHALLENGE")), false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  ASSERT_EQ(f.network.requests.size(), 3u);
  EXPECT_NE(Request(1).find("Proxy-Authorization: NTLM " + Base64Encode("NEGOTIATE") + "\r\n"), std::string::npos);
  EXPECT_NE(Request(2).find("Proxy-Authorization: NTLM " + Base64Encode("ANSWER:CHALLENGE") + "\r\n"),
            std::string::npos);
  EXPECT_EQ(f.network.requestConnection, (std::vector<int>{1, 1, 1}));
  ASSERT_EQ(f.ntlm.starts.size(), 1u);
  ASSERT_TRUE(f.ntlm.starts[0].has_value());
  EXPECT_EQ(f.ntlm.starts[0]->domain, "DOM");
  EXPECT_EQ(f.ntlm.starts[0]->user, "jean");
  EXPECT_EQ(f.ntlm.starts[0]->password, "secret");
  EXPECT_EQ(Logged("Authentification demand\xE9"
                   "e : NTLM"),
            1);
}

TEST_F(ExchangeTest, NtlmWithoutUserTakesTheLoggedOnCredentials) {
  UseProxy("", "");
  f.network.replies.push_back({Challenge("NTLM"), false});
  f.network.replies.push_back({Challenge("NTLM " + Base64Encode("C")), false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_EQ(f.proxyDialog.shown.size(), 1u);
  ASSERT_EQ(f.ntlm.starts.size(), 1u);
  EXPECT_FALSE(f.ntlm.starts[0].has_value());
}

TEST_F(ExchangeTest, NtlmRefusedWithAGivenUserGivesUpAfterThreeRequests) {
  UseProxy("jean", "bad");
  f.network.replies.push_back({Challenge("NTLM"), false});
  f.network.replies.push_back({Challenge("NTLM " + Base64Encode("C")), false});
  f.network.replies.push_back({Challenge("NTLM"), false});
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.network.requests.size(), 3u);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 407 Proxy Authentication Required -> "});
}

TEST_F(ExchangeTest, NtlmChallengeWithoutDataAbandons) {
  UseProxy("jean", "pw");
  f.network.replies.push_back({Challenge("NTLM"), false});
  f.network.replies.push_back({Challenge("NTLM"), false});
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"Op\xE9ration abandonn\xE9"
                                                    "e -> "});
}

TEST_F(ExchangeTest, OnlyUnsupportedSchemesFailAtOnce) {
  UseProxy("jean", "pw");
  f.network.replies.push_back({Challenge("Negotiate|Digest realm=\"x\""), false});
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.network.requests.size(), 1u);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.1 407 Proxy Authentication Required -> "});
  for (const std::string& line : Log()) EXPECT_EQ(line.find("Authentification"), std::string::npos);
}

TEST_F(ExchangeTest, NtlmIsSkippedWhenTheSystemHasNone) {
  f.ntlm.available = false;
  UseProxy("jean", "pw");
  f.network.replies.push_back({Challenge("NTLM|Basic realm=\"x\""), false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_NE(Request(1).find("Proxy-Authorization: Basic "), std::string::npos);
}

TEST_F(ExchangeTest, SchemeIsChosenAgainInEveryExchange) {
  UseProxy("jean", "pw");
  for (int run = 0; run < 2; ++run) {
    f.network.replies.push_back({Challenge("Basic realm=\"x\""), false});
    Reply(Ok("data"));
    EXPECT_EQ(Get("http://srv/"), 200);
  }
  EXPECT_EQ(Logged("Authentification demand\xE9"
                   "e : Basic"),
            2);
}

TEST_F(ExchangeTest, ServerAskingForBasicCallsForCredentialsAndFails) {
  UseProxy("jean", "pw");
  Reply("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"app\"\r\n\r\n");
  EXPECT_EQ(Get("http://srv/"), 0);
  EXPECT_EQ(f.network.requests.size(), 1u);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"HTTP/1.0 401 Unauthorized -> "});
  EXPECT_EQ(Logged("ProxyUsername : jean"), 1);
}

TEST_F(ExchangeTest, ServerAskingForNtlmGetsTheLoggedOnCredentials) {
  f.network.replies.push_back(
      {"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: NTLM\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n",
       false});
  f.network.replies.push_back({"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: NTLM " + Base64Encode("S") +
                                   "\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n",
                               false});
  Reply(Ok("data"));
  EXPECT_EQ(Get("http://srv/"), 200);
  EXPECT_NE(Request(1).find("\r\nAuthorization: NTLM " + Base64Encode("NEGOTIATE")), std::string::npos);
  EXPECT_NE(std::find(memo.lines.begin(), memo.lines.end(), "Authorization: NTLM ********"), memo.lines.end());
  ASSERT_EQ(f.ntlm.starts.size(), 1u);
  EXPECT_FALSE(f.ntlm.starts[0].has_value());
  EXPECT_TRUE(f.proxyDialog.shown.empty());
}

// What goes to which peer, and what a peer's bytes may do to the screen and
// the logs. Every case runs in a fresh module; the page gives proxy
// credentials, so anything that would answer a challenge has them at hand.
TEST(ExchangeScopeTest, CredentialsCookiesAndServerTextStayWhereTheyBelong) {
  const std::string ntlmOffer =
      "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: NTLM\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n";
  const std::string toOther = "HTTP/1.0 302 Found\r\nLocation: http://other/x\r\nContent-Length: 0\r\n\r\n";
  struct Case {
    const char* name;
    std::string proxyHttp, cookie;
    std::vector<FakeReply> replies;
    int status;
    std::size_t requests;
    std::string message;                                      // the error box, if any
    std::vector<std::pair<std::size_t, std::string>> absent;  // request, text it must not carry
    std::vector<std::string> shown, logged;                   // lines of the memo, of the run log
  } cases[] = {
      {"a 407 without a proxy is an error status",
       "corpproxy",
       "",
       {{Challenge("Basic realm=\"x\""), false}},
       0,
       1,
       "HTTP/1.1 407 Proxy Authentication Required -> ",
       {},
       {},
       {}},
      {"the page cookie stays with the page's host",
       "",
       "Cookie: page=1",
       {{toOther}, {Ok("b")}},
       200,
       2,
       "",
       {{1, "page=1"}},
       {"Cookie: page=1"},
       {}},
      {"another host's NTLM challenge is not answered",
       "",
       "",
       {{toOther}, {ntlmOffer, false}},
       0,
       2,
       "HTTP/1.0 401 Unauthorized -> ",
       {},
       {},
       {}},
      {"the server's NTLM header ends with its handshake",
       "",
       "",
       {{ntlmOffer, false},
        {"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: NTLM " + Base64Encode("S") +
             "\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n",
         false},
        {KeptReply("HTTP/1.0 302 Found\r\nLocation: /next\r\n", "")},
        {Ok("data")}},
       200,
       4,
       "",
       {{3, "Authorization:"}},
       {},
       {}},
      {"control characters of a status line and a page cookie are made visible",
       "",
       "Cookie: a=1\r\nX: forged",
       {{"HTTP/1.0 500 \x1b[2J\x07Oops\rX\r\nContent-Length: 0\r\n\r\n"}},
       0,
       1,
       "HTTP/1.0 500 \\x1b[2J\\x07Oops\\x0dX -> ",
       {},
       {},
       {"HTTP/1.0 500 \\x1b[2J\\x07Oops\\x0dX", "Cookie[Cookie: a=1\\x0d\\x0aX: forged]"}},
      {"a 407's header lines are echoed with their control characters visible",
       "proxy:3128",
       "",
       {{Challenge("Basic realm=\"\x1b]0;t\x07\""), false}, {Ok("data")}},
       200,
       2,
       "",
       {},
       {"Proxy-Authenticate: Basic realm=\"\\x1b]0;t\\x07\""},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExchangeWorld w;
    w.module.state.Proxy = {true, c.proxyHttp, "", "jean", "secret"};
    for (const FakeReply& reply : c.replies) w.f.network.replies.push_back(reply);
    EXPECT_EQ(w.Get("http://srv/", c.cookie), c.status);
    EXPECT_EQ(w.f.network.requests.size(), c.requests);
    EXPECT_EQ(w.f.ui.messages, c.message.empty() ? std::vector<std::string>{} : std::vector{c.message});
    for (const auto& [i, text] : c.absent) EXPECT_EQ(w.Request(i).find(text), std::string::npos) << i;
    for (const std::string& line : c.shown)
      EXPECT_EQ(std::count(w.memo.lines.begin(), w.memo.lines.end(), line), 1) << line;
    for (const std::string& line : c.logged) EXPECT_EQ(w.Logged(line), 1) << line;
    EXPECT_TRUE(w.f.proxyDialog.shown.empty());
  }
}

TEST_F(ExchangeTest, AnAnswerLeftUnreadAfterAFailedWriteIsNotReused) {
  struct FailingSink final : BodySink {
    void Restart() override {}
    void Write(std::string_view) override { throw PlatformError("disk full"); }
  } failing;
  f.network.replies.push_back(KeptReply("HTTP/1.0 200 OK\r\n", "0123456789"));
  f.network.replies.push_back(KeptReply("HTTP/1.0 200 OK\r\n", "two"));
  HttpRequest request;
  request.url = "http://srv/1";
  request.body = &failing;
  EXPECT_THROW(retrieval.client().Get(request), PlatformError);
  EXPECT_EQ(Get("http://srv/2"), 200);
  EXPECT_EQ(fakes::ReadFile(file), "two");
  EXPECT_EQ(f.network.requestConnection, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace imptherm
