// Thermal labels drawn by the EPL2 preview, against the sheet drawing of the
// same labels, in the same run.
//
// The records of sheet_bench (ten KAV labels each, every label with its
// texts and its Code 128 barcode) become thermal jobs for the ZEBRA 2844
// ("4") and go through the preview at 203 dpi: one PNG per label, and one
// PDF of a page per label. The baseline draws the same records as sheets
// into one PDF (what `print --sheet-pdf` does). Every side runs in a process
// of its own (wall time, peak resident memory); medians of the runs. Every
// run writes into a folder of its own, new and empty, as a user previewing a
// job into a new folder does: no run writes over the files of the one before.
// Goals: preview PNG at least as many labels a second as the sheet PDF;
// peak memory under 64 MiB on every side. Exit status 1 when one is missed.
//
// Then turned barcodes: one label of as many B lines as a label may hold,
// each of long data (a job of about 20 MB), drawn into a PDF with the
// barcodes turned a quarter, against the same job unturned, in the same run.
// Goals: the turned job in at most 3 times the time of the unturned one, and
// both under the 64 MiB.
//
//   preview_bench [--labels N] [--runs R]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "child_measure.h"
#include "cli/posix_platform.h"
#include "preview/epl_preview.h"
#include "run/core_stages.h"
#include "run/module.h"

namespace {
namespace fs = std::filesystem;
using namespace imptherm;
using bench::InChild;
using bench::Measure;
using bench::Median;
using bench::TenLabelRecord;

struct Run {
  explicit Run(const std::string& dir, const std::string& sheetPdf = "") {
    settings.out = std::fopen("/dev/null", "w");
    settings.sheetPdf = sheetPdf;
    backends = std::make_unique<cli::PosixPlatform>(settings);
    module = std::make_unique<Module>(backends->platform);
    module->runLog.SetWorkFolder(dir);
    module->stages = MakeCoreStages(*module);
  }
  RunOptions options{"4", "", "", 1, 1, {}};
  cli::PosixPlatform::Settings settings;
  std::unique_ptr<cli::PosixPlatform> backends;
  std::unique_ptr<Module> module;
};

int DrawSheets(int labels, const std::string& dir) {
  Run run(dir, dir + "sheets.pdf");
  PrintStages& s = *run.module->stages;
  s.CreatePositionChooser();
  if (s.ShowPositionChooser() != ChooserResult::Ok) return 1;
  run.options.prnType = "0";
  for (int n = 0; n * 10 < labels; ++n) s.PrintSheetRecord(run.options, TenLabelRecord(n), n == 0);
  s.EndSheetDocument();
  return 0;
}

// The jobs are built into the preview as a print run sends them, piece by piece.
int DrawPreview(int labels, const std::string& dir, bool png) {
  Run run(dir);
  std::unique_ptr<LabelPictures> pictures =
      png ? posix::OpenLabelPngFolder(dir + "png/") : posix::OpenLabelPdf(dir + "preview.pdf");
  EplPreview preview(*pictures, {203, 0, 0});
  for (int n = 0; n * 10 < labels; ++n) run.module->stages->BuildThermalJob(run.options, TenLabelRecord(n), preview);
  preview.Finish();
  pictures->Finish();
  // The notes (the long barcode data runs past the label's edge) are the
  // preview's work too; only a label not drawn fails.
  if (preview.labels() != labels) std::fprintf(stderr, "%d labels drawn, not %d\n", preview.labels(), labels);
  return preview.labels() == labels ? 0 : 1;
}

// The job is written into the preview in pieces as it is made, never whole.
int DrawTurnedBarcodes(const std::string& dir, int turns) {
  std::unique_ptr<LabelPictures> pictures = posix::OpenLabelPdf(dir + "turned.pdf");
  EplPreview preview(*pictures, {203, 0, 0});
  std::string data;
  while (data.size() < 4800) data += "  103 270492DEX   01";
  std::string piece = "N\r\n";
  for (std::size_t i = 0; i < EplPreview::kMaxElements; ++i) {
    piece += "B" + std::to_string(i * 7 % 800) + "," + std::to_string(i * 13 % 1200) + "," + std::to_string(turns) +
             ",1,1,2,40,N,\"" + data + "\"\r\n";
    if (piece.size() >= 64 * 1024) {
      preview.Write(piece);
      piece.clear();
    }
  }
  preview.Write(piece + "P\r\n");
  preview.Finish();
  pictures->Finish();
  return preview.labels() == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int labels = 10000, runs = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--labels" && i + 1 < argc) {
      labels = std::max(10, std::atoi(argv[++i]));
    } else if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: preview_bench [--labels N] [--runs R]\n");
      return 2;
    }
  }
  const std::string dir = (fs::temp_directory_path() / ("imptherm-bench-" + std::to_string(::getpid()))).string() + "/";
  fs::create_directories(dir + "profile/MERIDON");
  ::setenv("ALLUSERSPROFILE", (dir + "profile").c_str(), 1);

  struct Side {
    const char* name;
    int kind;  // 0 sheets, 1 preview PNG, 2 preview PDF
    Measure m;
  };
  std::vector<Side> sides = {{"sheet PDF (baseline)", 0, {}}, {"preview PNG, 203 dpi", 1, {}}, {"preview PDF", 2, {}}};
  std::printf("every run into a new, empty folder under %s\n", dir.c_str());
  std::printf("%-24s %8s %10s %12s %10s %10s\n", "", "labels", "seconds", "labels/s", "CPU s", "peak MiB");
  for (Side& side : sides) {
    std::vector<Measure> r;
    for (int k = 0; k < runs; ++k) {
      const std::string own = dir + "run-" + std::to_string(side.kind) + "-" + std::to_string(k) + "/";
      fs::create_directories(own + "png");
      r.push_back(
          InChild([&] { return side.kind == 0 ? DrawSheets(labels, own) : DrawPreview(labels, own, side.kind == 1); }));
    }
    side.m = Median(r);
    std::printf("%-24s %8d %10.2f %12.0f %10.2f %10.1f%s\n", side.name, labels, side.m.seconds, labels / side.m.seconds,
                side.m.cpuSeconds, side.m.peakMiB, side.m.ok ? "" : "  (failed)");
  }
  const double ratio = sides[0].m.seconds / sides[1].m.seconds;
  std::printf("preview PNG labels/s over sheet PDF labels/s: %.2f (goal: at least 1); in CPU time: %.2f\n", ratio,
              sides[0].m.cpuSeconds / sides[1].m.cpuSeconds);
  bool met = ratio >= 1;
  for (const Side& s : sides) met = met && s.m.ok && s.m.peakMiB < 64;
  std::printf(
      "peak memory goal (under 64 MiB on every side): %s\n",
      std::all_of(sides.begin(), sides.end(), [](const Side& s) { return s.m.peakMiB < 64; }) ? "met" : "missed");

  std::printf("\none label of %zu barcodes of 4800 characters, preview PDF:\n", EplPreview::kMaxElements);
  std::printf("%-24s %10s %10s %10s\n", "", "seconds", "CPU s", "peak MiB");
  Measure turned[2];
  for (int turns : {0, 1}) {
    std::vector<Measure> r;
    for (int k = 0; k < runs; ++k) {
      const std::string own = dir + "turned-" + std::to_string(turns) + "-" + std::to_string(k) + "/";
      fs::create_directories(own);
      r.push_back(InChild([&] { return DrawTurnedBarcodes(own, turns); }));
    }
    turned[turns] = Median(r);
    std::printf("%-24s %10.2f %10.2f %10.1f%s\n", turns ? "turned a quarter" : "unturned (baseline)",
                turned[turns].seconds, turned[turns].cpuSeconds, turned[turns].peakMiB,
                turned[turns].ok ? "" : "  (failed)");
  }
  const double turnedRatio = turned[1].seconds / turned[0].seconds;
  const bool turnedMet =
      turned[0].ok && turned[1].ok && turnedRatio <= 3 && turned[0].peakMiB < 64 && turned[1].peakMiB < 64;
  std::printf("turned over unturned time: %.2f (goal: at most 3); peak memory under 64 MiB: %s\n", turnedRatio,
              turned[0].peakMiB < 64 && turned[1].peakMiB < 64 ? "met" : "missed");
  met = met && turnedMet;
  std::printf("%s\n", met ? "all goals met" : "GOALS MISSED");
  fs::remove_all(dir);
  return met ? 0 : 1;
}
