#include <gtest/gtest.h>

#include "retrieval/base64.h"
#include "retrieval/cookies.h"
#include "retrieval/http_response.h"
#include "retrieval/url.h"

namespace imptherm {
namespace {

TEST(SplitUrlTest, SiteAndPortAndPathAsTheLogShowsThem) {
  struct Case {
    const char *url, *site, *port, *path;
  } cases[] = {
      {"srv:8080/app/get.asp?id=1", "srv", "8080", "/app/get.asp?id=1"},
      {"http://srv/app", "srv", "80", "/app"},
      {"http://srv", "srv", "80", ""},
      {"http://srv:81", "srv", "81", ""},
      {"srv\\share\\x", "srv", "80", "\\share\\x"},
      {"http://srv/a:b/c", "srv/a", "b", "/c"},  // the first colon after the scheme rules, as it always has
  };
  for (const Case& c : cases) {
    UrlParts p = SplitUrl(c.url);
    EXPECT_EQ(p.site, c.site) << c.url;
    EXPECT_EQ(p.port, c.port) << c.url;
    EXPECT_EQ(p.path, c.path) << c.url;
  }
}

TEST(ProxyAddressTest, PortMustBeANumber) {
  EXPECT_EQ(ParseProxyAddress("proxy:3128").host, "proxy");
  EXPECT_EQ(ParseProxyAddress("proxy:3128").port, 3128);
  EXPECT_TRUE(ParseProxyAddress("proxy:3128").used());
  EXPECT_FALSE(ParseProxyAddress("proxy").used());
  EXPECT_FALSE(ParseProxyAddress("proxy:x1").used());
  EXPECT_FALSE(ParseProxyAddress("").used());
  EXPECT_FALSE(ParseProxyAddress(":8080").used());
}

TEST(HttpUrlTest, TargetsAndLocations) {
  auto t = ParseHttpUrl("http://Srv:8080/a/b?q=1#frag");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->host, "Srv");
  EXPECT_EQ(t->port, 8080);
  EXPECT_EQ(t->pathAndQuery, "/a/b?q=1");
  EXPECT_EQ(t->HostHeader(), "Srv:8080");
  EXPECT_EQ(ParseHttpUrl("http://srv?x=1")->pathAndQuery, "/?x=1");
  EXPECT_FALSE(ParseHttpUrl("http:///path"));
  EXPECT_FALSE(ParseHttpUrl("http://srv:0/"));
  EXPECT_FALSE(ParseHttpUrl("http://srv:99999/"));
  EXPECT_FALSE(ParseHttpUrl("ftp://srv/"));
  // Blanks and control bytes never reach the request line raw.
  EXPECT_EQ(ParseHttpUrl("http://srv/a b?x=1\r\nX-Forged: 1")->pathAndQuery, "/a%20b?x=1%0D%0AX-Forged:%201");

  EXPECT_EQ(ResolveLocation(*t, "c.asp")->pathAndQuery, "/a/c.asp");
  EXPECT_EQ(ResolveLocation(*t, "?z=2")->pathAndQuery, "/a/b?z=2");
  EXPECT_EQ(ResolveLocation(*t, "c\x7f\r.asp")->pathAndQuery, "/a/c%7F%0D.asp");
  EXPECT_EQ(ResolveLocation(*t, "/root")->HostHeader(), "Srv:8080");
  EXPECT_EQ(ResolveLocation(*t, "//other/x")->HostHeader(), "other");
  EXPECT_EQ(ResolveLocation(*t, "HTTP://third:81/y")->HostHeader(), "third:81");
  EXPECT_FALSE(ResolveLocation(*t, "https://secure/"));
  EXPECT_FALSE(ResolveLocation(*t, "http:///nohost"));
  EXPECT_FALSE(ResolveLocation(*t, ""));
}

TEST(Base64Test, RoundTripsAndRefusesGarbage) {
  EXPECT_EQ(Base64Encode("DOM\\jean:secret"), "RE9NXGplYW46c2VjcmV0");
  EXPECT_EQ(Base64Encode("a"), "YQ==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  for (std::string s : {std::string(), std::string("a"), std::string("abc"), std::string("\0\xFF\x10", 3)})
    EXPECT_EQ(Base64Decode(Base64Encode(s)), s);
  EXPECT_FALSE(Base64Decode("ab$d"));
  EXPECT_FALSE(Base64Decode("a"));
}

ResponseHead Head(std::string_view text) {
  auto parsed = ParseResponseHead(text);
  EXPECT_TRUE(parsed) << text;
  return *parsed;
}

TEST(ResponseHeadTest, StatusLineAndFields) {
  auto h = Head(
      "\r\nHTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM\r\n"
      "proxy-authenticate:   Basic realm=\"x\"  \r\nX-Long: a\r\n  b\r\nno colon here\r\n\r\n");
  EXPECT_EQ(h.statusLine, "HTTP/1.1 407 Proxy Authentication Required");
  EXPECT_EQ(h.status, 407);
  EXPECT_EQ(h.FindAll("PROXY-AUTHENTICATE"), (std::vector<std::string>{"NTLM", "Basic realm=\"x\""}));
  EXPECT_EQ(h.Find("x-long"), "a b");
  EXPECT_EQ(h.lines.size(), 3u);
  EXPECT_EQ(Head("HTTP/1.0 200\r\n\r\n").status, 200);
}

TEST(ResponseHeadTest, GarbageStatusLinesAreErrors) {
  for (std::string bad :
       {"HTTP/1.1 20 OK", "HTTP/1.1 abc", "ICY 200 OK", "HTTP/1.1 2000 OK", "<html>", "HTTP/1.1 099 Low"}) {
    auto parsed = ParseResponseHead(bad + "\r\n\r\n");
    ASSERT_FALSE(parsed) << bad;
    EXPECT_NE(parsed.error().find(bad.substr(0, 4)), std::string::npos);
  }
}

TEST(ResponseHeadTest, FindHeadEndNeedsTheEmptyLine) {
  EXPECT_FALSE(FindHeadEnd("HTTP/1.0 200 OK\r\nA: b\r\n"));
  EXPECT_EQ(FindHeadEnd("HTTP/1.0 200 OK\r\n\r\nbody"), 19u);
  EXPECT_EQ(FindHeadEnd("HTTP/1.0 200 OK\n\nbody"), 17u);
  EXPECT_EQ(FindHeadEnd("\r\n\r\nHTTP/1.0 200 OK\r\n\r\n"), 23u);
}

TEST(FramingTest, HowBodiesEnd) {
  auto framing = [](std::string_view text) { return FramingOf(Head(text)); };
  EXPECT_EQ(framing("HTTP/1.0 204 No\r\n\r\n")->kind, BodyFraming::None);
  EXPECT_EQ(framing("HTTP/1.0 304 No\r\nContent-Length: 5\r\n\r\n")->kind, BodyFraming::None);
  EXPECT_EQ(framing("HTTP/1.0 200 OK\r\n\r\n")->kind, BodyFraming::UntilClose);
  EXPECT_EQ(framing("HTTP/1.0 200 OK\r\nTransfer-Encoding: gzip, chunked\r\nContent-Length: 3\r\n\r\n")->kind,
            BodyFraming::Chunked);
  auto length = *framing("HTTP/1.0 200 OK\r\nContent-Length: 123456789012\r\n\r\n");
  EXPECT_EQ(length.kind, BodyFraming::Length);
  EXPECT_EQ(length.length, 123456789012u);
  for (std::string bad : {"-1", "", "1 2", "0x10", "99999999999999999999", "+5"})
    EXPECT_FALSE(framing("HTTP/1.0 200 OK\r\nContent-Length: " + bad + "\r\n\r\n")) << bad;
  EXPECT_EQ(framing("HTTP/1.0 200 OK\r\nContent-Length: 7\r\nContent-Length: 7\r\n\r\n")->length, 7u);
}

std::string Dechunk(std::string_view body, std::size_t piece, bool* done = nullptr, std::string* error = nullptr) {
  ChunkedDecoder d;
  std::string out;
  for (std::size_t i = 0; i < body.size() && !d.done() && !d.error(); i += piece) d.Feed(body.substr(i, piece), out);
  if (done) *done = d.done();
  if (error && d.error()) *error = d.error()->text;
  return out;
}

TEST(ChunkedDecoderTest, DecodesInAnyPieces) {
  const std::string body = "4\r\nWiki\r\n5;name=v\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\nTrailer: x\r\n\r\n";
  for (std::size_t piece : {1u, 2u, 7u, 1000u}) {
    bool done = false;
    EXPECT_EQ(Dechunk(body, piece, &done), "Wikipedia in\r\n\r\nchunks.") << piece;
    EXPECT_TRUE(done);
  }
}

TEST(ChunkedDecoderTest, MalformedAndOversizedInputStops) {
  std::string error;
  Dechunk("5\r\nhelloX\r\n0\r\n\r\n", 100, nullptr, &error);
  EXPECT_NE(error.find("fin de fragment manquante"), std::string::npos);
  error.clear();
  Dechunk(std::string(ChunkedDecoder::kMaxLine + 10, '1'), 100, nullptr, &error);
  EXPECT_NE(error.find("ligne trop longue"), std::string::npos);
  error.clear();
  Dechunk("1234567890abcdef0\r\n", 100, nullptr, &error);  // beyond 60 bits
  EXPECT_NE(error.find("taille"), std::string::npos);
  error.clear();
  std::string trailer = "0\r\n";
  while (trailer.size() <= ChunkedDecoder::kMaxTrailer) trailer += "T: " + std::string(100, 't') + "\r\n";
  Dechunk(trailer, 4096, nullptr, &error);
  EXPECT_NE(error.find("fin trop longue"), std::string::npos);
}

TEST(CookieMatchTest, DomainAndPathRules) {
  EXPECT_TRUE(DomainMatches("www.Example.com", "example.com"));
  EXPECT_TRUE(DomainMatches("example.com", "EXAMPLE.com"));
  EXPECT_FALSE(DomainMatches("badexample.com", "example.com"));
  EXPECT_FALSE(DomainMatches("10.0.0.1", "0.0.1"));
  EXPECT_TRUE(PathMatches("/app/x", "/app"));
  EXPECT_TRUE(PathMatches("/app/x", "/app/"));
  EXPECT_TRUE(PathMatches("/app", "/app"));
  EXPECT_FALSE(PathMatches("/application", "/app"));
  EXPECT_EQ(DefaultCookiePath("/a/b/c.asp?x=/y"), "/a/b");
  EXPECT_EQ(DefaultCookiePath("/c.asp"), "/");
  EXPECT_EQ(DefaultCookiePath(""), "/");
}

TEST(CookieStoreTest, StoresMatchesReplacesAndRemoves) {
  CookieStore store;
  store.Receive("SID=1; Path=/; HttpOnly", false, "www.example.com", "/app/get.asp");
  store.Receive("lang=fr; Domain=.example.com; Path=/app", false, "www.example.com", "/app/get.asp");
  store.Receive("evil=1; Domain=other.com", false, "www.example.com", "/");
  store.Receive("sec=1; Secure", false, "www.example.com", "/");
  EXPECT_EQ(store.HeaderFor("www.example.com", "/app/x"), "lang=fr; SID=1");
  EXPECT_EQ(store.HeaderFor("img.example.com", "/app/x"), "lang=fr");  // host-only SID stays home
  EXPECT_EQ(store.HeaderFor("www.example.com", "/other"), "SID=1");
  EXPECT_EQ(store.HeaderFor("other.com", "/"), "");
  store.Receive("SID=2; Path=/", false, "www.example.com", "/");
  EXPECT_EQ(store.HeaderFor("www.example.com", "/"), "SID=2");
  store.Receive("SID=x; Path=/; Max-Age=0", false, "www.example.com", "/");
  EXPECT_EQ(store.HeaderFor("www.example.com", "/"), "");
  store.Receive("lang=; Domain=example.com; Path=/app; Expires=Thu, 01 Jan 1970 00:00:00 GMT", false, "www.example.com",
                "/", "Tue, 08 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(store.HeaderFor("www.example.com", "/app/"), "");
}

TEST(CookieStoreTest, SetCookie2HoldsSeveralCookiesAndQuotedValues) {
  CookieStore store;
  store.Receive("a=\"1,2\"; Version=1; Path=\"/\", b=2; Version=1", true, "srv", "/x/y");
  EXPECT_EQ(store.HeaderFor("srv", "/"), "a=\"1,2\"");
  EXPECT_EQ(store.HeaderFor("srv", "/x/z"), "b=2; a=\"1,2\"");
}

TEST(CookieStoreTest, IsBounded) {
  CookieStore store;
  for (std::size_t i = 0; i < CookieStore::kMaxCookies + 50; ++i)
    store.Receive(std::string("c").append(std::to_string(i)).append("=v"), false, "srv", "/");
  EXPECT_EQ(store.size(), CookieStore::kMaxCookies);
  store.Receive(std::string("big=").append(CookieStore::kMaxCookieBytes, 'x'), false, "srv", "/");
  EXPECT_EQ(store.HeaderFor("srv", "/").find("big="), std::string::npos);
}

TEST(CookieDateTest, ReadsTheUsualForms) {
  EXPECT_EQ(ParseCookieDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
  EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), 784111777);
  EXPECT_LT(ParseCookieDate("tomorrow"), 0);
  EXPECT_LT(ParseCookieDate("Thu, 32 Jan 1970 00:00:00 GMT"), 0);
}

}  // namespace
}  // namespace imptherm
