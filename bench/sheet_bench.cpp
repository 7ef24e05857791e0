// Sheets to PDF against glabels-3-batch, in the same run.
//
// Ours: label records of ten parcel labels each, every label with its text
// items and its Code 128 barcode, drawn four to a sheet into one PDF.
// Peer: glabels-3-batch merging the same number of labels into a 4-up
// template with a Code 128 barcode (gnu-barcode) and ten text fields.
// Each side runs in a process of its own, so its wall time and peak memory
// (maximum resident set) are its own. Medians of three runs.
//
//   sheet_bench [--labels N[,N...]] [--peer-labels N] [--runs R] [--no-peer]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_measure.h"
#include "cli/posix_platform.h"
#include "run/core_stages.h"
#include "run/module.h"

namespace {
namespace fs = std::filesystem;
using namespace imptherm;
using bench::InChild;
using bench::Measure;
using bench::Median;
using bench::TenLabelRecord;

// Draws `labels` labels into `pdf` in this process.
int DrawOurs(int labels, const std::string& dir) {
  // The document goes to a file: no page printer is needed.
  cli::PosixPlatform::Settings settings;
  settings.out = std::fopen("/dev/null", "w");
  settings.sheetPdf = dir + "ours.pdf";
  cli::PosixPlatform backends(settings);
  Module module(backends.platform);
  module.runLog.SetWorkFolder(dir);
  const RunOptions run{"0", "", "", 1, 1, {}};
  module.stages = MakeCoreStages(module);
  PrintStages& s = *module.stages;
  s.CreatePositionChooser();
  if (s.ShowPositionChooser() != ChooserResult::Ok) return 1;
  for (int n = 0; n * 10 < labels; ++n) s.PrintSheetRecord(run, TenLabelRecord(n), n == 0);
  s.EndSheetDocument();
  return 0;
}

void WritePeerFiles(int labels, const std::string& dir) {
  const char* affine = R"(a0="1" a1="0" a2="0" a3="1" a4="0" a5="0")";
  std::ofstream t(dir + "peer.glabels");
  t << R"(<?xml version="1.0"?>
<Glabels-document xmlns="http://glabels.org/xmlns/3.0/">
  <Template brand="Bench" part="4up" size="A4" description="Four labels a sheet">
    <Meta category="label"/>
    <Label-rectangle id="0" width="3.84in" height="4.35in" round="0in" x_waste="0in" y_waste="0in">
      <Markup-margin size="0.05in"/>
      <Layout nx="2" ny="2" x0="0.2in" y0="0.45in" dx="3.94in" dy="5.45in"/>
    </Label-rectangle>
  </Template>
  <Objects id="0" rotate="False">
)";
  t << R"(    <Object-barcode x="0.3in" y="1.44in" w="3.3in" h="1.26in" backend="gnu-barcode" style="Code128")"
    << R"( text="False" checksum="True" color="0xff" field="code" )" << affine << "/>\n";
  for (int k = 0; k < 10; ++k) {
    t << R"(    <Object-text x="0.05in" y=")" << (k < 7 ? 0.1 + 0.14 * k : 2.8 + 0.3 * (k - 7))
      << R"(in" w="3.5in" h="0.2in" justify="Left" valign="Top" auto_shrink="False" )" << affine
      << R"(><Span font_family="Liberation Sans" font_size="8" font_weight="Regular" font_italic="False")"
      << R"( color="0xff" line_spacing="1"><Field name="f)" << k << R"("/></Span></Object-text>)"
      << "\n";
  }
  t << "  </Objects>\n  <Merge type=\"Text/Comma/Line1Keys\" src=\"" << dir << "peer.csv\"/>\n</Glabels-document>\n";
  std::ofstream csv(dir + "peer.csv");
  csv << "code";
  for (int k = 0; k < 10; ++k) csv << ",f" << k;
  csv << "\n";
  char code[64];
  for (int i = 0; i < labels; ++i) {
    std::snprintf(code, sizeof code, "99 0001123456045%08d%03d7512", i / 10, i % 10 + 1);
    csv << code;
    for (int k = 0; k < 10; ++k) csv << ",Value " << k << " of label " << i;
    csv << "\n";
  }
}

std::vector<int> ParseCounts(const std::string& s) {
  std::vector<int> out;
  for (std::size_t at = 0; at <= s.size();) {
    const std::size_t comma = std::min(s.find(',', at), s.size());
    out.push_back(std::atoi(s.substr(at, comma - at).c_str()));
    at = comma + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts{1000, 4000};
  int peerLabels = 1000;
  int runs = 3;
  bool peer = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--labels" && i + 1 < argc)
      counts = ParseCounts(argv[++i]);
    else if (a == "--peer-labels" && i + 1 < argc)
      peerLabels = std::atoi(argv[++i]);
    else if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--no-peer")
      peer = false;
    else {
      std::fprintf(stderr, "usage: sheet_bench [--labels N[,N...]] [--peer-labels N] [--runs R] [--no-peer]\n");
      return 2;
    }
  }
  const std::string dir = (fs::temp_directory_path() / ("imptherm-bench-" + std::to_string(::getpid()))).string() + "/";
  fs::create_directories(dir);

  std::vector<Measure> ours;
  std::printf("%-28s %8s %10s %10s\n", "", "labels", "seconds", "peak MiB");
  for (int n : counts) {
    std::vector<Measure> r;
    for (int k = 0; k < runs; ++k) r.push_back(InChild([&] { return DrawOurs(n, dir); }));
    ours.push_back(Median(r));
    std::printf("%-28s %8d %10.3f %10.1f%s\n", "impthermorvane sheets", n, ours.back().seconds, ours.back().peakMiB,
                ours.back().ok ? "" : "  (failed)");
  }
  bool met = true;
  for (const Measure& m : ours) met = met && m.ok && m.peakMiB < 64;
  if (peer) {
    WritePeerFiles(peerLabels, dir);
    std::vector<Measure> r;
    for (int k = 0; k < runs; ++k)
      r.push_back(InChild([&] {
        const std::string out = dir + "peer.pdf";
        const std::string in = dir + "peer.glabels";
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execlp("glabels-3-batch", "glabels-3-batch", "-o", out.c_str(), in.c_str(), static_cast<char*>(nullptr));
        return 127;
      }));
    const Measure g = Median(r);
    std::printf("%-28s %8d %10.3f %10.1f%s\n", "glabels-3-batch", peerLabels, g.seconds, g.peakMiB,
                g.ok ? "" : "  (failed)");
    for (std::size_t i = 0; i < counts.size(); ++i)
      if (counts[i] == peerLabels && g.ok) {
        const double ratio = g.seconds / ours[i].seconds;
        std::printf("speed-up at %d labels: %.1f x (goal: at least 5 x)\n", peerLabels, ratio);
        met = met && ratio >= 5;
      }
    met = met && g.ok;
  }
  if (counts.size() >= 2 && counts.front() > 0) {
    const double timeRatio = ours.back().seconds / ours.front().seconds;
    const double countRatio = static_cast<double>(counts.back()) / counts.front();
    std::printf("time at %d / time at %d labels: %.2f (goal: at most %.2f)\n", counts.back(), counts.front(), timeRatio,
                countRatio * 4.5 / 4);
    met = met && timeRatio <= countRatio * 4.5 / 4;
  }
  std::printf(
      "peak memory goal (under 64 MiB at every count): %s\n",
      std::all_of(ours.begin(), ours.end(), [](const Measure& m) { return m.peakMiB < 64; }) ? "met" : "missed");
  std::printf("%s\n", met ? "all goals met" : "GOALS MISSED");
  fs::remove_all(dir);
  return met ? 0 : 1;
}
