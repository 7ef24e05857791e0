#include "run/print_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "fakes/fake_platform.h"
#include "fakes/fake_stages.h"
#include "platform/error.h"
#include "run/credentials.h"

namespace imptherm {
namespace {
using fakes::FakeStages;
using fakes::MakeLines;

// A property bag: present names answer, absent ones fail; every read is kept.
class Bag final : public ParameterSource {
 public:
  std::map<std::string, std::string> values;
  std::vector<std::string> reads;
  std::optional<std::string> Read(const std::string& name) override {
    reads.push_back(name);
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
};

class PrintRunTest : public ::testing::Test {
 protected:
  PrintRunTest() : module(f.platform) {
    auto s = std::make_unique<FakeStages>();
    stages = s.get();
    module.stages = std::move(s);
    bag.values = {{"prnType", "4"}, {"fileOut", "FILE"}, {"streamUrl", "srv/app/get.asp?id=1"}};
  }
  RunResult Load() { return PrintRun(module).Load(bag); }
  std::vector<std::string> ParameterLogLines() {
    std::vector<std::string> lines;
    std::string text = f.temp.Read("ImpThermOrvane.Log");
    for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(text.substr(pos, end - pos));
    return lines;
  }

  fakes::FakePlatform f;
  Module module;
  FakeStages* stages;
  Bag bag;
};

TEST_F(PrintRunTest, MissingRequiredParameterRefusesTheRunWithTwoLogLinesAndClosesTheWindow) {
  bag.values = {{"prnType", "1"}, {"streamUrl", "x"}};
  f.temp.Write("ImpThermOrvane.Log", "from an earlier run\r\n");
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::ParametersRefused);
  EXPECT_EQ(ParameterLogLines(), (std::vector<std::string>{"08/12/2026 10:11:12 ImpThermOrvane.ocx v1.0.0.20",
                                                           "08/12/2026 10:11:12 Arguments Error"}));
  EXPECT_EQ(bag.reads, (std::vector<std::string>{"prnType", "fileOut"}));  // streamUrl never asked
  ASSERT_EQ(f.ui.windows.size(), 1u);
  EXPECT_EQ(f.ui.last().caption, "ImpThermOrvane.ocx v1.0.0.20");
  EXPECT_EQ(f.ui.last().lines, std::vector<std::string>{"Erreur dans les parametres"});
  EXPECT_FALSE(f.ui.last().open);
  EXPECT_EQ(f.ui.panelCaption, "ImpThermOrvane.ocx");
  EXPECT_TRUE(stages->calls.empty());
}

TEST_F(PrintRunTest, ParametersAreReadInOrderAndLoggedWithoutCredentials) {
  bag.values.insert({{"nbEtiquColis", "2"},
                     {"nbEtiquPalettes", "3"},
                     {"Cookie", "ASP=1"},
                     {"prnName", "Zebra"},
                     {"proxyEnable", "TrUe"},
                     {"proxyHttp", " \tproxy:3128 "},
                     {"proxyDomaine", " DOM  "},
                     {"proxyUser", ScrambleCredential(" jean") + "  "},
                     {"proxyPassword", ScrambleCredential("secret")}});
  Load();
  EXPECT_EQ(bag.reads, (std::vector<std::string>{"prnType", "fileOut", "streamUrl", "nbEtiquColis", "nbEtiquPalettes",
                                                 "Cookie", "prnName", "proxyEnable", "proxyHttp", "proxyDomaine",
                                                 "proxyUser", "proxyPassword"}));
  const RunState& s = module.state;
  EXPECT_EQ(s.nbEtiquColis, 2);
  EXPECT_EQ(s.nbEtiquPalettes, 3);
  EXPECT_TRUE(s.Proxy.proxyEnable);
  EXPECT_EQ(s.Proxy.proxyHttp, "proxy:3128");
  EXPECT_EQ(s.Proxy.proxyDomaine, " DOM");
  EXPECT_EQ(s.Proxy.proxyUser, " jean");  // trimmed on the right before descrambling only
  EXPECT_EQ(s.Proxy.proxyPassword, "secret");
  auto lines = ParameterLogLines();
  ASSERT_EQ(lines.size(), 9u);
  const char* expected[] = {"ImpThermOrvane.ocx v1.0.0.20",
                            "prnType:4",
                            "fileOut:FILE",
                            "prnName:Zebra",
                            "streamUrl:srv/app/get.asp?id=1",
                            "cookie:ASP=1",
                            "proxy Http:proxy:3128",
                            "proxy Domaine: DOM",
                            "Meridon directory:"};
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].substr(0, 20 + std::string(expected[i]).size()),
              "08/12/2026 10:11:12 " + std::string(expected[i]));
  EXPECT_EQ(lines[8], "08/12/2026 10:11:12 Meridon directory:" + f.temp.path() + "profile/MERIDON");
  for (const auto& l : lines) {
    EXPECT_EQ(l.find("jean"), std::string::npos);
    EXPECT_EQ(l.find("secret"), std::string::npos);
  }
  EXPECT_EQ(stages->downloadCookie, "ASP=1");
  EXPECT_EQ(stages->downloadUrl, "srv/app/get.asp?id=1");
}

TEST_F(PrintRunTest, OnlyTheThreeRequiredParametersKeepCountsOfThePreviousRunAndTurnTheProxyOff) {
  module.state.nbEtiquColis = 5;
  module.state.nbEtiquPalettes = 6;
  module.state.Proxy = {true, "old:1", "D", "u", "p"};
  stages->download.lines = MakeLines({"{KAV"});
  Load();
  EXPECT_EQ(module.state.nbEtiquColis, 5);
  EXPECT_EQ(module.state.nbEtiquPalettes, 6);
  ASSERT_EQ(stages->runs.size(), 1u);
  EXPECT_EQ(stages->runs[0].nbEtiquColis, 5);
  EXPECT_EQ(stages->runs[0].nbEtiquPalettes, 6);
  EXPECT_FALSE(module.state.Proxy.proxyEnable);
  EXPECT_EQ(module.state.Proxy.proxyHttp, "");
  EXPECT_EQ(module.state.Proxy.proxyUser, "");
  EXPECT_EQ(stages->downloadCookie, "");
}

TEST_F(PrintRunTest, PalletCountIsReadOnlyAfterParcelCountAndNonIntegersCountOne) {
  bag.values["nbEtiquPalettes"] = "7";
  Load();
  EXPECT_EQ(module.state.nbEtiquPalettes, 0);
  bag.values["nbEtiquColis"] = "abc";
  bag.values["nbEtiquPalettes"] = "3 ";
  Load();
  EXPECT_EQ(module.state.nbEtiquColis, 1);
  EXPECT_EQ(module.state.nbEtiquPalettes, 1);
  bag.values["nbEtiquColis"] = " -2";
  Load();
  EXPECT_EQ(module.state.nbEtiquColis, -2);
}

TEST_F(PrintRunTest, ProxyEnableWithALeadingBlankLeavesTheProxyOffAndItsValuesUnread) {
  bag.values.insert({{"proxyEnable", " TRUE"}, {"proxyHttp", "proxy:3128"}});
  Load();
  EXPECT_FALSE(module.state.Proxy.proxyEnable);
  EXPECT_EQ(std::count(bag.reads.begin(), bag.reads.end(), "proxyHttp"), 0);
}

TEST_F(PrintRunTest, UpdateModeSendsTheVersionAndPrintsNothing) {
  bag.values["streamUrl"] = "http://srv/app/UpdatePlugin.asp?x=1";
  bag.values["Cookie"] = "S=2";
  module.runLog.SetWorkFolder("/elsewhere/");
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::Completed);
  EXPECT_EQ(stages->calls, std::vector<std::string>{"HttpExchange GET"});
  EXPECT_EQ(stages->exchangeUrls[0], "http://srv/app/UpdatePlugin.asp?x=1&version=1,0,0,20");
  EXPECT_EQ(stages->exchangeFiles[0], f.temp.path() + "DataThermOrvane.txt");
  EXPECT_EQ(stages->exchangeHeaders[0], "Cookie: S=2");
  EXPECT_EQ(module.runLog.workFolder(), f.temp.path());
  EXPECT_FALSE(f.ui.last().open);
}

TEST_F(PrintRunTest, ThermalPathBuildsAndSendsEveryRecordWithTheDriversValues) {
  bag.values["prnName"] = "Zebra";
  stages->download.lines = MakeLines({"{KAV", "1", "}", "junk", "{HOB", "2"});
  stages->download.header.HeaderText = "HEADER";
  stages->download.header.CaptionBase = 2000;
  stages->download.header.HeaderFlag = true;
  RunResult r = Load();
  // Every record's stage gets the data file's header as the download read it.
  ASSERT_EQ(stages->runs.size(), 2u);
  for (const RunOptions& run : stages->runs) EXPECT_EQ(run.header, stages->download.header);
  EXPECT_EQ(r.outcome, RunOutcome::Completed);
  EXPECT_EQ(stages->Count("BuildThermalJob 4"), 2);
  EXPECT_EQ(stages->calls.back(), "SendJob FILE Zebra JOB2");
  EXPECT_EQ(stages->records[1], (RecordLines{"{HOB", "2"}));
  EXPECT_EQ(stages->Count("ShowPositionChooser"), 0);
}

TEST_F(PrintRunTest, OnlyTheExactTextZeroTakesTheSheetPath) {
  stages->download.lines = MakeLines({"{KAV", "1"});
  for (const char* type : {"00", " 0", "0 "}) {
    bag.values["prnType"] = type;
    stages->calls.clear();
    Load();
    EXPECT_EQ(stages->Count("BuildThermalJob"), 1) << '"' << type << '"';
    EXPECT_EQ(stages->Count("PrintSheetRecord"), 0);
  }
}

TEST_F(PrintRunTest, ChannelMessageIsShownForTwoSecondsAndEndsTheRun) {
  bag.values["fileOut"] = "WIN";
  stages->download.lines = MakeLines({"{KAV", "}", "{HOB", "}", "{DUN"});
  stages->sendMessages = {"Erreur de parametrage. Imprimante inexistante sur le poste."};
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::ChannelMessage);
  EXPECT_EQ(r.detail, "Erreur de parametrage. Imprimante inexistante sur le poste.");
  EXPECT_EQ(r.failedRecord, 1u);
  EXPECT_EQ(stages->Count("SendJob"), 1);
  EXPECT_EQ(f.system.sleeps, std::vector<std::uint32_t>{2000});
  EXPECT_EQ(f.ui.last().added.back(), "Erreur de parametrage. Imprimante inexistante sur le poste.");
}

TEST_F(PrintRunTest, SheetPathShowsTheChooserOnceAndEndsTheDocumentAfterTheLastRecord) {
  bag.values["prnType"] = "0";
  bag.values["prnName"] = "Laser";
  stages->download.lines = MakeLines({"{KAV", "}", "{HOB", "}", "{ZAN"});
  Load();
  EXPECT_EQ(stages->calls, (std::vector<std::string>{"DownloadLabelData", "GroupRecordLines", "CreatePositionChooser",
                                                     "ShowPositionChooser", "PrintSheetRecord Laser",
                                                     "GroupRecordLines", "PrintSheetRecord Laser", "GroupRecordLines",
                                                     "PrintSheetRecord Laser", "EndSheetDocument"}));
  EXPECT_EQ(stages->sheetFirstFlags, (std::vector<bool>{true, false, false}));
  // The chooser made by the first sheet run is kept for the next one.
  stages->calls.clear();
  Load();
  EXPECT_EQ(stages->Count("CreatePositionChooser"), 0);
  EXPECT_EQ(stages->Count("ShowPositionChooser"), 1);
}

TEST_F(PrintRunTest, AbandoningTheChooserPrintsNothingAndEndsNoDocument) {
  bag.values["prnType"] = "0";
  stages->download.lines = MakeLines({"{KAV", "}", "{HOB"});
  stages->chooserResult = ChooserResult::Cancel;
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::Abandoned);
  EXPECT_EQ(stages->Count("PrintSheetRecord"), 0);
  EXPECT_EQ(stages->Count("GroupRecordLines"), 1);
  EXPECT_EQ(stages->Count("EndSheetDocument"), 0);
}

TEST_F(PrintRunTest, OneDataLineClearsHeaderFlagAndAFailedDownloadPrintsNothing) {
  stages->download.lines = MakeLines({"{KAV"});
  // The download reads HeaderFlag from the file; the driver clears it after.
  stages->download.header.HeaderFlag = true;
  Load();
  ASSERT_EQ(stages->runs.size(), 1u);
  EXPECT_FALSE(stages->runs[0].header.HeaderFlag);

  stages->calls.clear();
  stages->download = {false, {}, {}};
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::DownloadFailed);
  EXPECT_EQ(stages->calls, std::vector<std::string>{"DownloadLabelData"});
}

TEST_F(PrintRunTest, AnErrorBelowIsContainedLoggedAndTheWindowClosed) {
  stages->download.lines = MakeLines({"{KAV", "}", "{HOB"});
  stages->onBuildJob = [] { throw PlatformError("cannot write to /x/etiquettesOrvane.txt: disk full"); };
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::ErrorContained);
  EXPECT_EQ(r.detail, "cannot write to /x/etiquettesOrvane.txt: disk full");
  EXPECT_FALSE(f.ui.last().open);
  EXPECT_NE(f.temp.Read("OWTMP.LOG").find("cannot write to /x/etiquettesOrvane.txt: disk full"), std::string::npos);
  EXPECT_EQ(stages->Count("SendJob"), 0);
}

TEST_F(PrintRunTest, AnAbandonRaisedBelowEndsTheRunAsAbandoned) {
  stages->download.lines = MakeLines({"{KAV"});
  stages->onBuildJob = [] { throw RunAbandoned("interrupted by the user"); };
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::Abandoned);
  EXPECT_FALSE(f.ui.last().open);
}

TEST_F(PrintRunTest, AStopAskedBetweenTwoSheetRecordsCancelsTheDocumentAndSaysSo) {
  bag.values["prnType"] = "0";
  stages->download.lines = MakeLines({"{KAV", "}", "{HOB", "}"});
  f.ui.stopAfter = 1;
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::Abandoned);
  EXPECT_EQ(stages->calls,
            (std::vector<std::string>{"DownloadLabelData", "GroupRecordLines", "CreatePositionChooser",
                                      "ShowPositionChooser", "PrintSheetRecord ", "AbortSheetDocument"}));
  EXPECT_EQ(f.ui.last().added.back(), "Impression abandonnee : interrupted by the user");
  EXPECT_NE(f.temp.Read("OWTMP.LOG").find("Impression abandonnee : interrupted by the user"), std::string::npos);
}

TEST_F(PrintRunTest, AnUnwritableParameterLogIsContainedToo) {
  std::filesystem::create_directory(f.temp.path() + "ImpThermOrvane.Log");
  RunResult r = Load();
  EXPECT_EQ(r.outcome, RunOutcome::ErrorContained);
  EXPECT_TRUE(f.ui.windows.empty());
}

}  // namespace
}  // namespace imptherm
