#pragma once
// What the drawing benchmarks share: a record of ten labels with the fields
// a consignment fills, and a run in a process of its own, measured.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/data_lines.h"

namespace imptherm::bench {

struct Measure {
  double seconds = 0;
  // User and system time: what the run itself cost on a machine shared
  // with other work, where its wall time also holds the others' turns.
  double cpuSeconds = 0;
  double peakMiB = 0;
  bool ok = false;
};

inline RecordLines TenLabelRecord(int n) {
  RecordLines r{"{KAV", "10", "0", "123456", "99", "1"};
  char line[128];
  for (int code = 0; code < 37; ++code) {
    if (code == 32 || code == 33 || code == 30 || code == 5) continue;
    if (code == 7) {
      r.push_back("070001");
    } else if (code == 11) {
      std::snprintf(line, sizeof line, "11%08d", n);
      r.push_back(line);
    } else if (code == 14) {
      r.push_back("1414/02/2026");
    } else if (code == 1) {
      r.push_back("0175");
    } else {
      std::snprintf(line, sizeof line, "%02dValue %d of record %d", code, code, n);
      r.push_back(line);
    }
  }
  return r;
}

// Runs `child` in a process of its own; its wall time and peak memory.
template <typename Child>
Measure InChild(Child child) {
  const auto start = std::chrono::steady_clock::now();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(child());
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Measure m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peakMiB = usage.ru_maxrss / 1024.0;
  m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

// The median time of the runs, with the highest peak memory of them all.
inline Measure Median(std::vector<Measure> runs) {
  std::sort(runs.begin(), runs.end(), [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
  Measure m = runs[runs.size() / 2];
  for (const Measure& r : runs) {
    m.peakMiB = std::max(m.peakMiB, r.peakMiB);
    m.ok = m.ok && r.ok;
  }
  return m;
}

}  // namespace imptherm::bench
