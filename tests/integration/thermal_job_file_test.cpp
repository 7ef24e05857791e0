// A whole thermal print run of the built program: the label data file is
// served over loopback HTTP, and the job file must hold exactly the jobs
// written out by hand for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "fakes/fake_platform.h"
#include "support/folder_server.h"

namespace imptherm {
namespace {

std::string Data(const std::string& name) { return std::string(IMPTHERM_TEST_DATA) + "/" + name; }

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The program's print run of the two-record file, served over loopback
// HTTP; `options` come before the page parameters.
class ThermalJobFileTest : public ::testing::Test {
 protected:
  int Print(const std::string& options) {
    std::filesystem::create_directories(dir.path() + "www");
    std::filesystem::create_directories(dir.path() + "tmp");
    std::filesystem::copy_file(Data("labels/two_records.txt"), dir.path() + "www/labels.txt");
    testing::FolderServer server(dir.path() + "www", dir.path() + "server.log");
    if (server.port() == 0) ADD_FAILURE() << "the loopback HTTP server did not start: " << dir.Read("server.log");
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/labels.txt";
    const std::string command = "TMPDIR=" + dir.path() + "tmp ALLUSERSPROFILE=" + dir.path() + "profile timeout 60 " +
                                IMPTHERM_PROGRAM + " print --batch " + options +
                                " --param prnType=4 --param fileOut=FILE --param streamUrl=" + url +
                                " --param nbEtiquColis=2 </dev/null >" + dir.path() + "out.txt 2>&1";
    const int status = std::system(command.c_str());
    out = dir.Read("out.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fakes::TempDir dir;
  std::string out;
};

TEST_F(ThermalJobFileTest, PrintRunWritesExactlyTheJobsOfTheLabelDataFile) {
  EXPECT_EQ(Print(""), 0) << out;
  EXPECT_EQ(dir.Read("tmp/etiquettesOrvane.txt"), WithCrLf(fakes::ReadFile(Data("labels/two_records_jobs.epl"))));
  EXPECT_NE(dir.Read("profile/MERIDON/ImpThermOrvane.ini").find("[ZEBRA 2844]"), std::string::npos);
  const std::string runLog = dir.Read("tmp/OWTMP.LOG");
  EXPECT_NE(runLog.find("fondPage=[{KAV]"), std::string::npos) << runLog;
  EXPECT_NE(runLog.find("fondPage=[{ZAN]"), std::string::npos) << runLog;
}

// print --preview: the same run's jobs drawn, a page per printed label,
// and nothing sent to the channel.
TEST_F(ThermalJobFileTest, PreviewDrawsTheJobsInsteadOfSendingThem) {
  const int status = Print("--preview " + dir.path() + "run.pdf");
  // 7: drawn, with the notes of the lines not drawn as written.
  EXPECT_EQ(status, out.find("job:") == std::string::npos ? 0 : 7) << out;

  const std::string jobs = fakes::ReadFile(Data("labels/two_records_jobs.epl"));
  const std::regex print("\nP[0-9]*\n");
  const std::ptrdiff_t prints =
      std::distance(std::sregex_iterator(jobs.begin(), jobs.end(), print), std::sregex_iterator());
  std::string pages;
  if (FILE* p = ::popen(("pdfinfo " + dir.path() + "run.pdf 2>/dev/null").c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, p))
      if (std::string(line).rfind("Pages:", 0) == 0) pages = line;
    ::pclose(p);
  }
  ASSERT_FALSE(pages.empty()) << "no PDF from the preview";
  EXPECT_EQ(std::stoi(pages.substr(6)), prints);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "tmp/etiquettesOrvane.txt"));
}

}  // namespace
}  // namespace imptherm
