#pragma once
// The checks of the Wine test programs: each failed check prints one FAIL
// line, and the program's exit status says whether any failed.
#include <cstdio>
#include <sstream>
#include <string>

inline int g_failures = 0;
inline int g_checks = 0;

inline void Check(bool ok, const std::string& what) {
  ++g_checks;
  if (!ok) {
    ++g_failures;
    std::printf("FAIL %s\n", what.c_str());
  }
}

template <typename A, typename B>
void CheckEq(const A& actual, const B& expected, const std::string& what) {
  std::ostringstream s;
  s << what << " (got \"" << actual << "\", want \"" << expected << "\")";
  Check(actual == expected, s.str());
}
