// The built program, as a user or a script runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "fakes/fake_platform.h"
#include "run/credentials.h"
#include "support/run_program.h"

namespace imptherm {
namespace {
using testing::RunProgram;

class CliTest : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Env() {
    return {{"TMPDIR", temp.path()}, {"ALLUSERSPROFILE", temp.path() + "profile"}, {"LC_ALL", "C"}};
  }
  std::vector<std::string> ParameterLog() {
    std::vector<std::string> lines;
    std::string text = temp.Read("ImpThermOrvane.Log");
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(text.substr(pos, end - pos));
    return lines;
  }
  fakes::TempDir temp;
};

TEST_F(CliTest, RefusedRunExitsTwoWithTwoTimeStampedLinesInTheParameterLog) {
  auto r = RunProgram({"print", "--param", "prnType=1"}, Env());
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_NE(r.err.find("parameters refused"), std::string::npos) << r.err;
  auto lines = ParameterLog();
  ASSERT_EQ(lines.size(), 2u) << temp.Read("ImpThermOrvane.Log");
  // LC_ALL=C: %x %X is MM/DD/YY HH:MM:SS.
  std::regex stamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d )");
  EXPECT_TRUE(std::regex_search(lines[0], stamp)) << lines[0];
  EXPECT_EQ(lines[0].substr(18), "ImpThermOrvane.ocx v1.0.0.20");
  EXPECT_EQ(lines[1].substr(18), "Arguments Error");
  // The progress window shows its caption and its one memo line.
  EXPECT_NE(r.out.find("ImpThermOrvane.ocx v1.0.0.20"), std::string::npos);
  EXPECT_NE(r.out.find("Erreur dans les parametres"), std::string::npos);
}

TEST_F(CliTest, PageParametersReachThePrintRun) {
  temp.Write("page.html",
             "<!DOCTYPE html>\n<html><head><title>Impression</title></head><body>\n"
             "<object id=\"ImpThermOrvane\" classid=\"clsid:F0BD7B50-E791-4E1C-ADA6-989562A19877\"\n"
             "        codebase=\"ImpThermOrvane.ocx#version=1,0,0,20\" width=\"120\" height=\"30\">\n"
             "  <param name=\"prnType\" value=\"4\">\n"
             "  <param name=\"fileOut\" value=\"FILE\">\n"
             "  <param name=\"streamUrl\" value=\"http://127.0.0.1:9/UPDATEPLUGIN.asp?a=1&amp;b=2\">\n"
             "  <param name=\"prnName\" value=\"Z&eacute;bra\">\n"
             "</object>\n</body></html>\n");
  RunProgram({"print", "--batch", "--page", temp.path() + "page.html"}, Env());
  auto lines = ParameterLog();
  ASSERT_GE(lines.size(), 5u) << temp.Read("ImpThermOrvane.Log");
  EXPECT_EQ(lines[1].substr(18), "prnType:4");
  EXPECT_EQ(lines[2].substr(18), "fileOut:FILE");
  EXPECT_EQ(lines[3].substr(18),
            "prnName:Z\xE9"
            "bra");
  EXPECT_EQ(lines[4].substr(18), "streamUrl:http://127.0.0.1:9/UPDATEPLUGIN.asp?a=1&b=2");
}

TEST_F(CliTest, APageWithoutObjectAndAMissingPageAreUsageErrors) {
  temp.Write("plain.html", "<html><body>nothing</body></html>");
  auto r = RunProgram({"print", "--page", temp.path() + "plain.html"}, Env());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("no <object> element"), std::string::npos) << r.err;
  r = RunProgram({"print", "--page", temp.path() + "missing.html"}, Env());
  EXPECT_EQ(r.exitStatus, 1);
}

TEST_F(CliTest, VersionHelpOfEachCommandAndScramble) {
  auto r = RunProgram({"--version"}, Env());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "1.0.0.20\n");
  r = RunProgram({"--help"}, Env());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.out.find("\n  serve "), std::string::npos) << r.out;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"serve", "--help"}, {"help", "serve"}}) {
    r = RunProgram(args, Env());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("Usage: impthermorvane serve [--port N]")) << r.out;
    EXPECT_NE(r.out.find("\n  --allow-origin ORIGIN "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nExample:\n  impthermorvane serve "), std::string::npos) << r.out;
  }
  r = RunProgram({"scramble", "mot de passe"}, Env());
  EXPECT_EQ(r.exitStatus, 0);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(DescrambleCredential(r.out.substr(0, r.out.size() - 1)), "mot de passe");
  r = RunProgram({"bogus"}, Env());
  EXPECT_EQ(r.exitStatus, 1);
}

TEST_F(CliTest, AnUnwritableLogIsAContainedErrorWithItsOwnExitStatus) {
  std::filesystem::create_directory(temp.path() + "ImpThermOrvane.Log");
  auto r = RunProgram({"print", "--param", "prnType=4"}, Env());
  EXPECT_EQ(r.exitStatus, 6);
  EXPECT_NE(r.err.find("error: cannot create " + temp.path() + "ImpThermOrvane.Log"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace imptherm
