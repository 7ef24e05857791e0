// Sheets printed through a private cupsd: one PDF job titled
// "ImpThermOrvane" on the printer chosen by name, and the resolution the
// server reports for a queue.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fakes/fake_platform.h"
#include "fakes/sheet_records.h"
#include "integration/page_probe.h"
#include "platform/error.h"
#include "platform/posix/cairo_documents.h"
#include "platform/posix/cups_printers.h"
#include "run/core_stages.h"
#include "run/module.h"

namespace imptherm {
namespace {
namespace fs = std::filesystem;

int System(const std::string& command) { return std::system(command.c_str()); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// A PostScript printer description whose default resolution is 600 dpi and
// which takes PDF as it comes.
const char kPpd600[] = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "Q600.PPD"
*Manufacturer: "Test"
*Product: "(Test)"
*ModelName: "Test 600"
*ShortNickName: "Test 600"
*NickName: "Test 600"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/pdf 0 -"
*OpenUI *Resolution/Resolution: PickOne
*DefaultResolution: 600dpi
*Resolution 300dpi/300 dpi: "<</HWResolution[300 300]>>setpagedevice"
*Resolution 600dpi/600 dpi: "<</HWResolution[600 600]>>setpagedevice"
*CloseUI: *Resolution
*OpenUI *PageSize/Page Size: PickOne
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
)ppd";

// cupsd of its own on a local socket, with a backend that appends every job
// to a file, then writes the job's title beside it. Needs root (cupsd drops to lp).
class PrivateCups {
 public:
  PrivateCups() {
    dir_ = (fs::temp_directory_path() / ("imptherm-cups-" + std::to_string(::getpid()))).string();
    fs::remove_all(dir_);
    for (const char* d : {"bin/backend", "spool", "cache", "log", "state", "conf", "out"})
      fs::create_directories(dir_ + "/" + d);
    for (const char* d : {"cgi-bin", "daemon", "driver", "filter", "monitor", "notifier"})
      fs::create_directory_symlink(std::string("/usr/lib/cups/") + d, dir_ + "/bin/" + d);
    WriteText(dir_ + "/bin/backend/capture",
              "#!/bin/sh\n"
              "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Capture to file\"'; exit 0; fi\n"
              "out=\"${DEVICE_URI#capture:}\"\n"
              "if [ -n \"$6\" ]; then cat \"$6\" >> \"$out\"; else cat >> \"$out\"; fi\n"
              "printf '%s\\n' \"$3\" >> \"$out.title\"\n");
    ::chmod((dir_ + "/bin/backend/capture").c_str(), 0755);
    WriteText(dir_ + "/conf/cupsd.conf", "Listen " + socket() +
                                             "\nLogLevel warn\n<Location />\n  Order allow,deny\n  Allow all\n"
                                             "</Location>\n");
    WriteText(dir_ + "/conf/cups-files.conf",
              "User lp\nGroup lp\nServerBin " + dir_ + "/bin\nServerRoot " + dir_ + "/conf\nRequestRoot " + dir_ +
                  "/spool\nCacheDir " + dir_ + "/cache\nStateDir " + dir_ + "/state\nErrorLog " + dir_ +
                  "/log/error_log\nAccessLog " + dir_ + "/log/access_log\nPageLog " + dir_ + "/log/page_log\n");
    WriteText(dir_ + "/q600.ppd", kPpd600);
    System("chown -R lp:lp '" + dir_ + "/out' '" + dir_ + "/log' && chmod 755 '" + dir_ + "'");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (dir_ + "/conf/cupsd.conf").c_str(), "-s",
              (dir_ + "/conf/cups-files.conf").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && !fs::exists(socket()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::setenv("CUPS_SERVER", socket().c_str(), 1);
    cupsSetServer(socket().c_str());
  }
  ~PrivateCups() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    cupsSetServer(nullptr);
    ::unsetenv("CUPS_SERVER");
    fs::remove_all(dir_);
  }
  bool running() const { return pid_ > 0 && fs::exists(socket()); }
  std::string socket() const { return dir_ + "/cups.sock"; }
  std::string out(const std::string& queue) const { return dir_ + "/out/" + queue; }
  int AddQueue(const std::string& name, bool withPpd) {
    return System("CUPS_SERVER='" + socket() + "' lpadmin -p " + name + " -E -v capture:" + out(name) +
                  (withPpd ? " -P '" + dir_ + "/q600.ppd'" : " -m raw") + " 2>/dev/null");
  }
  int SetDefault(const std::string& name) {
    return System("CUPS_SERVER='" + socket() + "' lpadmin -d " + name + " >/dev/null 2>&1");
  }
  // Waits until the queue's backend has written `n` jobs.
  std::string WaitForJobs(const std::string& queue, std::size_t n) {
    for (int i = 0; i < 200; ++i) {
      std::ifstream in(out(queue) + ".title");
      std::string all((std::istreambuf_iterator<char>(in)), {});
      if (static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) >= n) return all;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
};

class SheetCupsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cups = new PrivateCups;
    ASSERT_TRUE(cups->running()) << "cupsd did not start (it needs root)";
    ASSERT_EQ(cups->AddQueue("Office_Raw", false), 0);
    ASSERT_EQ(cups->AddQueue("Q600", true), 0);
    ASSERT_EQ(cups->SetDefault("Q600"), 0);
  }
  static void TearDownTestSuite() {
    delete cups;
    cups = nullptr;
  }
  static PrivateCups* cups;

  fakes::FakePlatform f;
  posix::CupsPrinters printers;
  posix::CairoDocuments documents;
  Platform platform = f.With({.printers = &printers, .documents = &documents});
};
PrivateCups* SheetCupsTest::cups = nullptr;

TEST_F(SheetCupsTest, ResolutionIsTheQueuesDefaultOr300) {
  EXPECT_EQ(documents.PrinterResolution("Q600").x, 600);
  EXPECT_EQ(documents.PrinterResolution("Q600").y, 600);
  EXPECT_EQ(documents.PrinterResolution("Office_Raw").x, posix::kDefaultPrinterResolution);
  EXPECT_EQ(documents.PrinterResolution("NoSuchQueue").y, posix::kDefaultPrinterResolution);
  EXPECT_EQ(posix::CairoDocuments("x.pdf").PrinterResolution("Q600").x, posix::kDefaultPrinterResolution);
}

TEST_F(SheetCupsTest, NoPrinterOrAnUnknownOneIsAnErrorNotASilentLoss) {
  EXPECT_THROW(documents.StartDocument("", "ImpThermOrvane"), PlatformError);
  std::unique_ptr<DrawnDocument> doc = documents.StartDocument("NoSuchQueue", "ImpThermOrvane");
  EXPECT_THROW(doc->End(), PlatformError);
}

TEST_F(SheetCupsTest, OneRunIsOnePdfJobOnTheNamedPrinterWithTheDefaultPrintersScale) {
  Module module(platform);
  module.runLog.SetWorkFolder(f.temp.path());
  const RunOptions run{"0", "", "raw", 1, 0, {}};
  module.stages = MakeCoreStages(module);
  PrintStages& s = *module.stages;
  s.CreatePositionChooser();  // scale of the default printer, Q600: 6 pixels a unit
  ASSERT_EQ(s.ShowPositionChooser(), ChooserResult::Ok);
  fakes::RecordShape shape;
  shape.parcels = 5;
  shape.fields = fakes::ParcelFields();
  s.PrintSheetRecord(run, fakes::MakeRecord(shape), true);
  s.PrintSheetRecord(run, fakes::MakeRecord(shape), false);
  s.EndSheetDocument();

  EXPECT_EQ(cups->WaitForJobs("Office_Raw", 1), "ImpThermOrvane\n");
  const std::string pdf = cups->out("Office_Raw");
  std::ifstream in(pdf, std::ios::binary);
  std::string head(5, '\0');
  in.read(head.data(), 5);
  EXPECT_EQ(head, "%PDF-");
  // Ten labels, four to a sheet, in one document.
  const std::string info = Shell("pdfinfo '" + pdf + "' 2>/dev/null");
  const std::size_t pages = info.find("Pages:");
  ASSERT_NE(pages, std::string::npos) << info;
  EXPECT_EQ(std::stoi(info.substr(pages + 6)), 3);
  // The scale is the default printer's (6 pixels a unit) on this 300-dpi
  // canvas: slot 2's frame starts 394 x 6 pixels from the printable corner.
  const std::string png = f.temp.path() + "p1";
  Shell("pdftoppm -r 300 -gray -f 1 -l 1 -singlefile '" + pdf + "' '" + png + "'");
  const Page page = ReadPgm(png + ".pgm");
  const int corner = static_cast<int>(posix::kPrintableOffsetInches * 300);
  EXPECT_LT(page.Pixel(corner + 394 * 6, corner + (25 + 200) * 6), 100);
  EXPECT_GT(page.Pixel(corner + 394 * 3, corner + (25 + 200) * 3), 200);
  EXPECT_NE(fakes::ReadFile(f.temp.path() + "OWTMP.LOG").find("Printer OK: Office_Raw"), std::string::npos);
}

}  // namespace
}  // namespace imptherm
