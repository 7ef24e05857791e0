// Thermal job throughput: a label data file of 100,000 labels is printed to
// the job file by the program as a user starts it, and measured against the
// file work that any print run of it must do (the job file opened once per
// record, one run log line per record), in the same run and repetition by
// repetition. The CPU time of each phase of the thermal loop says where the
// rest goes.
//
//   bench/thermal_jobs_bench [labels] [repetitions]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/posix_platform.h"
#include "folder_server.h"
#include "output/job_file.h"
#include "output/send_job.h"
#include "run/core_stages.h"

namespace fs = std::filesystem;
using namespace imptherm;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// Records of every kind, one to six parcels and now and then pallets, with
// the fields a real consignment fills, accents included.
std::uintmax_t WriteLabelData(const std::string& path, int labels) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937 rng(20261208);
  const char* kinds[] = {"{KAV", "{HOB", "{DN", "{J41", "{K63", "{ZAN"};
  out << "ETIQUETTES\r\nTRANSPORTS ORVANE - BENCH\r\nFR\r\nN\r\n";
  int written = 0;
  for (int n = 0; written < labels; ++n) {
    const int parcels = std::min<int>(1 + static_cast<int>(rng() % 6), labels - written);
    const int pallets = (rng() % 5 == 0 && written + parcels < labels) ? 1 : 0;
    written += parcels + pallets;
    char buf[64];
    out << kinds[n % 6] << "\r\n" << parcels << "\r\n" << pallets << "\r\n";
    std::snprintf(buf, sizeof buf, "%06d", n % 1000000);
    out << buf << "\r\n" << (n % 2 ? "99" : "12") << "\r\n" << n % 10 << "\r\n";
    out << "00LYO\r\n0169\r\n02007\r\n03EXPRESS\r\n05Z\xFCrich Flughafen, Fracht S\xFC"
           "d\r\n";
    out << "06For\xEAt, No\xEBl 12\r\n07A12\r\n08Quai 4\r\n";
    out << "09\xC9tablissements H\xE9l\xE8ne M\xFCller-Stra\xDF"
           "e\r\n10Zone industrielle des C\xE9lestins\r\n";
    std::snprintf(buf, sizeof buf, "11C%07d\r\n", n);
    out << buf << "12carton\r\n1318,500 kg\r\n1414/02/2024\r\n15J+1\r\n16Non\r\n17CRT-55\r\n";
    out << "1815/03/2024\r\n19PARIS\r\n2075\r\n21015\r\n22Cedex 05\r\n23SARL Dupont & Fils\r\n";
    out << "2412 rue de la Paix\r\n25B\xE2timent C, 3e \xE9tage\r\n26Stra\xDF"
           "e 7\r\n27T\xE9l 01 42 00 00 00\r\n";
    out << "28Messagerie\r\n29PAR\r\n31COL-001\r\n34Fragile\r\n35R\r\n36Haut\r\n}\r\n";
  }
  out.close();
  return fs::file_size(path);
}

// One record of `labels` parcel labels whose field lines are repeated to
// `fieldLines` lines: every label reads the same fields, so reading them
// once per label would make the time grow with labels x field lines.
std::uintmax_t WriteCraftedRecord(const std::string& path, int labels, int fieldLines) {
  std::ofstream out(path, std::ios::binary);
  out << "ETIQUETTES\r\nTRANSPORTS ORVANE - BENCH\r\nFR\r\nN\r\n";
  out << "{KAV\r\n" << labels << "\r\n0\r\n000123\r\n99\r\n1\r\n";
  for (int k = 0; k < fieldLines; ++k) {
    char line[32];
    std::snprintf(line, sizeof line, "%02dvalue %05d\r\n", k % 37, k % 100000);
    out << line;
  }
  out << "}\r\n";
  out.close();
  return fs::file_size(path);
}

// The data lines after the four header lines, cut as the label data reader
// cuts them (CR LF, LF or CR).
DataLines ReadDataLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DataLines lines;
  lines.reserve(text.size());  // as the label data reader does
  std::size_t at = 0;
  int header = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    if (header < 4)
      ++header;
    else
      lines.push_back(std::string_view(text).substr(at, end - at));
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// Takes a job and keeps nothing: building alone.
class NullSink final : public JobSink {
 public:
  void Write(std::string_view) override {}
};

// How far the loop goes: the phases are timed one by one as well.
enum class Phase { Read, Group, Build, Send };

// The print run's thermal loop over the real POSIX backend.
int RunThermalLoop(const std::string& dataPath, Phase phase) {
  cli::PosixPlatform backends(cli::PosixPlatform::Settings{});
  posix::PosixSystem& system = backends.system;
  Module module(backends.platform);
  module.stages = MakeCoreStages(module);
  module.runLog.SetWorkFolder(TempFolder(system));
  const RunOptions run{"4", "FILE", "", 2, 1, {}};
  const DataLines lines = ReadDataLines(dataPath);
  if (phase == Phase::Send) {
    const auto jobs = module.stages->StartThermalJobs(run, lines);
    while (!jobs->Done()) {
      jobs->Next();
      PrintThermalRecord(*module.stages, run, *jobs);
    }
    return 0;
  }
  RecordLines record;
  for (std::size_t index = 0; phase != Phase::Read && index < lines.size();) {
    index = module.stages->GroupRecordLines(lines, index, record);
    if (phase == Phase::Group) continue;
    NullSink sink;
    module.stages->BuildThermalJob(run, record, sink);
  }
  return 0;
}

// The file work that every print run must do whatever the job building
// costs, through the same job file channel: the job file opened, appended
// to and closed once per record, and one run log line per record, for the
// same number of bytes.
int FileWorkOnly(std::size_t records, std::uintmax_t jobBytes) {
  posix::PosixSystem system;
  RunLog runLog(system);
  runLog.SetWorkFolder(TempFolder(system));
  const std::string chunk(jobBytes / records, 'x');
  const std::string path = TempFolder(system) + kJobFileName;
  for (std::size_t r = 0; r < records; ++r) {
    runLog.Write("fondPage=[{KAV]");
    JobFileChannel job(system, path);
    job.Write(chunk);
    job.Finish();
  }
  return 0;
}

struct Run {
  double seconds;
  double cpuSeconds;
  long peakKiB;
};

template <typename Work>
Run TimeChild(Work work) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(work());
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  const double seconds = Seconds(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the measured run failed\n");
    std::exit(1);
  }
  const double cpu =
      usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  return {seconds, cpu, usage.ru_maxrss};
}

// The whole print run as a user starts it: the program downloads the label
// data file from a loopback web server and prints every record to the job
// file. Standard output (the progress window) goes to /dev/null.
Run TimeWholePrintRun(const std::string& program, const std::string& url) {
  return TimeChild([&] {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::execl(program.c_str(), program.c_str(), "print", "--batch", "--param", "prnType=4", "--param", "fileOut=FILE",
            "--param", ("streamUrl=" + url).c_str(), "--param", "nbEtiquColis=2", "--param", "nbEtiquPalettes=1",
            static_cast<char*>(nullptr));
    return 127;
  });
}

template <typename T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int labels = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  const double goal = 1.5;
  const fs::path dir = fs::temp_directory_path() / ("imptherm-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "tmp");
  ::setenv("TMPDIR", (dir / "tmp").c_str(), 1);
  ::setenv("ALLUSERSPROFILE", (dir / "profile").c_str(), 1);
  const std::string data = (dir / "labels.txt").string();
  const std::string jobs = (dir / "tmp" / kJobFileName).string();
  const std::uintmax_t dataBytes = WriteLabelData(data, labels);
  std::size_t records = 0;
  {
    const DataLines lines = ReadDataLines(data);
    for (std::size_t k = 0; k < lines.size(); ++k) records += lines[k] == "}";
  }

  // The whole print run and the file work alone one after the other in each
  // repetition, so that the load of a shared machine weighs on both alike.
  const std::string program = (fs::path(argv[0]).parent_path() / ".." / "impthermorvane").string();
  std::vector<double> wholeTimes, floorTimes, ratios;
  long peakKiB = 0;
  std::uintmax_t jobBytes = 0;
  {
    bench::FolderServer server(dir.string());
    for (int r = 0; r < repetitions; ++r) {
      fs::remove(jobs);
      const Run whole = TimeWholePrintRun(program, server.Url("labels.txt"));
      jobBytes = fs::file_size(jobs);
      peakKiB = std::max(peakKiB, whole.peakKiB);
      fs::remove(jobs);
      const Run floor = TimeChild([&] { return FileWorkOnly(records, jobBytes); });
      wholeTimes.push_back(whole.seconds);
      floorTimes.push_back(floor.seconds);
      ratios.push_back(whole.seconds / floor.seconds);
    }
  }
  // Where the time goes: CPU time of each phase of the thermal loop on its
  // own, each phase adding to the one before (a shared machine disturbs CPU
  // time less than wall time).
  const char* names[] = {"reading the data lines", "+ grouping", "+ building the jobs", "+ the job file"};
  double phaseCpu[4];
  for (int p = 0; p < 4; ++p) {
    std::vector<double> cpu;
    for (int r = 0; r < repetitions; ++r) {
      fs::remove(jobs);
      const Run run = TimeChild([&] { return RunThermalLoop(data, static_cast<Phase>(p)); });
      cpu.push_back(run.cpuSeconds);
      peakKiB = std::max(peakKiB, run.peakKiB);
    }
    phaseCpu[p] = Median(cpu);
  }
  const double building = phaseCpu[2] - phaseCpu[1];
  // One crafted record against the same number of ordinary labels, both
  // through the whole thermal loop.
  const int craftedLabels = 10000;
  const std::string crafted = (dir / "crafted.txt").string();
  const std::string ordinary = (dir / "ordinary.txt").string();
  const std::uintmax_t craftedBytes = WriteCraftedRecord(crafted, craftedLabels, 50000);
  WriteLabelData(ordinary, craftedLabels);
  std::vector<double> craftedTimes, ordinaryTimes;
  for (int r = 0; r < repetitions; ++r) {
    fs::remove(jobs);
    craftedTimes.push_back(TimeChild([&] { return RunThermalLoop(crafted, Phase::Send); }).seconds);
    fs::remove(jobs);
    ordinaryTimes.push_back(TimeChild([&] { return RunThermalLoop(ordinary, Phase::Send); }).seconds);
  }
  fs::remove_all(dir);
  const double craftedRatio = Median(craftedTimes) / Median(ordinaryTimes);

  const double whole = Median(wholeTimes), ratio = Median(ratios);
  const double peakMiB = peakKiB / 1024.0;
  const double dataMiB = dataBytes / 1048576.0;
  const double memoryGoal = 2 * dataMiB + 32;
  const bool timeMet = ratio <= goal, memoryMet = peakMiB <= memoryGoal, craftedMet = craftedRatio <= 3;
  auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  std::printf("labels                  %d in %zu records\n", labels, records);
  std::printf("label data file         %.1f MiB\n", dataMiB);
  std::printf("job file                %.1f MiB\n", jobBytes / 1048576.0);
  std::printf("whole print run         %.3f s, %.0f labels/s (download, grouping, jobs, job file; median of %d)\n",
              whole, labels / whole, repetitions);
  std::printf("file work alone         %.3f s (job file opened once per record, one run log line per record)\n",
              Median(floorTimes));
  std::printf(
      "time ratio              %.2f x the file work alone (median of the runs' ratios; goal: at most %.1f): %s\n",
      ratio, goal, verdict(timeMet));
  std::printf("building the jobs       %.3f s of CPU, %.2f us a label (configuration, fields, layouts, log line)\n",
              building, building * 1e6 / labels);
  for (int p = 0; p < 4; ++p) std::printf("  cpu %-24s %.3f s\n", names[p], phaseCpu[p]);
  std::printf("peak memory             %.1f MiB (goal: at most %.1f MiB): %s\n", peakMiB, memoryGoal,
              verdict(memoryMet));
  std::printf("one record of %d labels over 50,000 field lines (%.0f KB): %.3f s, %d ordinary labels: %.3f s\n",
              craftedLabels, craftedBytes / 1024.0, Median(craftedTimes), craftedLabels, Median(ordinaryTimes));
  std::printf("crafted record ratio    %.2f x the ordinary labels (goal: at most 3): %s\n", craftedRatio,
              verdict(craftedMet));
  const bool met = timeMet && memoryMet && craftedMet;
  std::printf("%s\n", met ? "goals met" : "GOALS MISSED");
  return met ? 0 : 1;
}
