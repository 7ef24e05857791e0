// Memory of whole thermal print runs against the size of their label data
// file: a file of empty lines only, one record holding the same empty lines,
// a file of one million ordinary records, and a file of one record whose last
// line is the rest of the file. Each is served over loopback HTTP to the
// program, which prints every record to the parallel port LPT1, mapped to
// /dev/null. The peak resident memory of the program must stay under 2 x the
// file + 48 MiB. The jobs (gigabytes for a million records) go nowhere: what
// is measured is the program, not the disk.
//
//   bench/label_data_bench [MiB of the empty-line, empty-record and long-line files] [records]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "folder_server.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kHeader[] = "ETIQUETTES\r\nTRANSPORTS ORVANE - BENCH\r\nFR\r\nN\r\n";

// `mib` MiB of empty lines, between `before` and `after`.
std::uintmax_t WriteEmptyLines(const std::string& path, std::uintmax_t mib, const std::string& before = "",
                               const std::string& after = "") {
  std::ofstream out(path, std::ios::binary);
  out << kHeader << before;
  std::string block;
  for (int i = 0; i < 32768; ++i) block += "\r\n";  // 64 KiB
  for (std::uintmax_t n = 0; n < mib * 16; ++n) out << block;
  out << after;
  out.close();
  return fs::file_size(path);
}

// One record whose last field line is the rest of the file.
std::uintmax_t WriteLongLine(const std::string& path, std::uintmax_t mib) {
  std::ofstream out(path, std::ios::binary);
  out << kHeader << "{KAV\r\n1\r\n0\r\n000123\r\n12\r\n4\r\n19";
  const std::string block(65536, 'x');
  for (std::uintmax_t n = 0; n < mib * 16; ++n) out << block;
  out << "\r\n}\r\n";
  out.close();
  return fs::file_size(path);
}

std::uintmax_t WriteRecords(const std::string& path, int records) {
  std::ofstream out(path, std::ios::binary);
  out << kHeader;
  char buf[160];
  for (int n = 0; n < records; ++n) {
    std::snprintf(buf, sizeof buf,
                  "{KAV\r\n1\r\n0\r\n%06d\r\n12\r\n4\r\n00LYO\r\n01AB\r\n07A12\r\n11C%07d\r\n1414/02/2024\r\n"
                  "19PARIS\r\n23SARL Dupont\r\n}\r\n",
                  n % 1000000, n);
    out << buf;
  }
  out.close();
  return fs::file_size(path);
}

struct Run {
  double seconds;
  double peakMiB;
  int exitStatus;
};

// The whole print run as a user starts it, progress output to /dev/null.
Run WholePrintRun(const std::string& program, const std::string& url) {
  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::execl(program.c_str(), program.c_str(), "print", "--batch", "--param", "prnType=4", "--param", "fileOut=LPT1",
            "--param", ("streamUrl=" + url).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return {seconds, usage.ru_maxrss / 1024.0, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

int main(int argc, char** argv) {
  const std::uintmax_t emptyMiB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  const int records = argc > 2 ? std::atoi(argv[2]) : 1000000;
  const fs::path dir = fs::temp_directory_path() / ("imptherm-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "www");
  fs::create_directories(dir / "tmp");
  ::setenv("IMPTHERM_LPT1", "/dev/null", 1);
  ::setenv("TMPDIR", (dir / "tmp").c_str(), 1);
  ::setenv("ALLUSERSPROFILE", (dir / "profile").c_str(), 1);
  const std::string program = (fs::path(argv[0]).parent_path() / ".." / "impthermorvane").string();

  struct Case {
    const char* name;
    std::uintmax_t bytes;
  } cases[] = {{"empty-lines.txt", WriteEmptyLines((dir / "www" / "empty-lines.txt").string(), emptyMiB)},
               {"empty-record.txt", WriteEmptyLines((dir / "www" / "empty-record.txt").string(), emptyMiB,
                                                    "{KAV\r\n1\r\n0\r\n000123\r\n12\r\n4\r\n", "}\r\n")},
               {"records.txt", WriteRecords((dir / "www" / "records.txt").string(), records)},
               {"long-line.txt", WriteLongLine((dir / "www" / "long-line.txt").string(), emptyMiB)}};
  bool met = true;
  {
    imptherm::bench::FolderServer server((dir / "www").string());
    for (const Case& c : cases) {
      const Run run = WholePrintRun(program, server.Url(c.name));
      const double fileMiB = c.bytes / 1048576.0;
      const double goal = 2 * fileMiB + 48;
      const bool ok = run.exitStatus == 0 && run.peakMiB <= goal;
      met = met && ok;
      std::printf("%-16s %8.1f MiB  whole print run %6.2f s  peak memory %7.1f MiB  (goal: at most %.1f MiB)%s\n",
                  c.name, fileMiB, run.seconds, run.peakMiB, goal,
                  run.exitStatus != 0 ? "  the run failed" : (ok ? "" : "  MISSED"));
    }
  }
  fs::remove_all(dir);
  std::printf("%s\n", met ? "goal met" : "GOAL MISSED");
  return met ? 0 : 1;
}
