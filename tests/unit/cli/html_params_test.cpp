#include "cli/html_params.h"

#include <gtest/gtest.h>

#include "cli/named_parameters.h"
#include "cli/options.h"

namespace imptherm::cli {
namespace {

NamedValues Parse(std::string_view html) {
  auto params = ParsePageParameters(html);
  EXPECT_TRUE(params) << params.error();
  return params ? *params : NamedValues{};
}

TEST(ParsePageParameters, ReadsParamsOfTheObjectInAnyCaseAndQuoting) {
  auto params = Parse(
      "<html><body><OBJECT ID=\"Plug\" CLASSID=\"CLSID:F0BD7B50-E791-4E1C-ADA6-989562A19877\" width=10>\n"
      "  <PARAM NAME=\"prnType\" VALUE=\"4\">\n"
      "  <param name='fileOut' value='FILE'/>\n"
      "  <Param Name=streamUrl Value=http://srv/app/get.asp?id=1&amp;lot=2>\n"
      "  <param value=\"\" name=\"Cookie\">\n"
      "</object></body></html>");
  EXPECT_EQ(
      params,
      (NamedValues{
          {"prnType", "4"}, {"fileOut", "FILE"}, {"streamUrl", "http://srv/app/get.asp?id=1&lot=2"}, {"Cookie", ""}}));
}

TEST(ParsePageParameters, DecodesCharacterReferencesIntoWindows1252) {
  auto params = Parse(
      "<object><param name=\"a\" value=\"&eacute;t&#233; &#xE0; &euro; &lt;&gt;&quot;&#39; &unknown; & &#x1F600;\">"
      "</object>");
  ASSERT_EQ(params.size(), 1u);
  EXPECT_EQ(params[0].second, "\xE9t\xE9 \xE0 \x80 <>\"' &unknown; & ?");
}

TEST(ParsePageParameters, AUtf8PageAndAWindows1252PageGiveTheSameBytes) {
  auto utf8 = Parse("<object><param name=\"proxyDomaine\" value=\"Soci\xC3\xA9t\xC3\xA9\"></object>");
  auto ansi = Parse("<object><param name=\"proxyDomaine\" value=\"Soci\xE9t\xE9\"></object>");
  EXPECT_EQ(utf8, ansi);
  EXPECT_EQ(utf8[0].second, "Soci\xE9t\xE9");
}

TEST(ParsePageParameters, TakesTheControlsObjectOverOthersAndIgnoresParamsOutsideAndInComments) {
  auto params = Parse(
      "<param name=\"stray\" value=\"1\">"
      "<object classid=\"clsid:00000000-0000-0000-0000-000000000001\"><param name=\"movie\" value=\"x\"></object>"
      "<!-- <object classid=\"clsid:F0BD7B50-E791-4E1C-ADA6-989562A19877\"><param name=\"prnType\" value=\"9\"> -->"
      "<object classid=\"clsid:f0bd7b50-e791-4e1c-ada6-989562a19877\"><param name=\"prnType\" value=\"0\"></object>");
  EXPECT_EQ(params, (NamedValues{{"prnType", "0"}}));
}

TEST(ParsePageParameters, APageWithoutObjectIsRefusedWithAReason) {
  auto params = ParsePageParameters("<html><param name=a value=b></html>");
  ASSERT_FALSE(params);
  EXPECT_EQ(params.error(), "the page holds no <object> element");
}

TEST(ParsePageParameters, TruncatedMarkupEndsCleanly) {
  for (std::string_view html : {"<object", "<object><param name=\"a", "<object><param name=a value=", "<", "<!--"})
    ParsePageParameters(html);
  auto params = Parse("<object><param name=a value='unterminated");
  EXPECT_EQ(params, (NamedValues{{"a", "unterminated"}}));
}

TEST(NamedParameters, NamesMatchInAnyCaseAndTheLaterValueWins) {
  NamedParameters p({{"prnType", "4"}, {"FILEOUT", "FILE"}, {"prntype", "0"}});
  EXPECT_EQ(p.Read("prnType"), "0");
  EXPECT_EQ(p.Read("fileOut"), "FILE");
  EXPECT_EQ(p.Read("streamUrl"), std::nullopt);
}

TEST(ParseOptions, PrintWithParamsPageAndBatch) {
  auto parsed = ParseOptions({"print", "--param", "prnType=4", "--param", "Cookie=", "--param", "streamUrl=a=b",
                              "--page", "p.html", "--batch"});
  ASSERT_TRUE(parsed) << parsed.error();
  const Options& o = *parsed;
  EXPECT_EQ(o.command, Options::Command::Print);
  EXPECT_EQ(o.params, (NamedValues{{"prnType", "4"}, {"Cookie", ""}, {"streamUrl", "a=b"}}));
  EXPECT_EQ(o.pagePath, "p.html");
  EXPECT_TRUE(o.batch);
}

TEST(ParseOptions, RefusesWhatItCannotRead) {
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{"print", "--param"},
                                             {"print", "--param", "=4"},
                                             {"print", "--param", "noequals"},
                                             {"print", "--bogus"},
                                             {"frobnicate"},
                                             {"scramble"},
                                             {"scramble", "a", "b"},
                                             {"help", "bogus"},
                                             {"help", "print", "serve"},
                                             {"serve", "--bogus"},
                                             {"preview", "j", "-o", "o/", "--contact-sheet", ""}}) {
    auto o = ParseOptions(args);
    ASSERT_FALSE(o) << args.back();
    EXPECT_FALSE(o.error().empty());
  }
}

}  // namespace
}  // namespace imptherm::cli
