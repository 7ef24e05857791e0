#pragma once
#include <string>

#include "common/data_lines.h"
#include "fakes/fake_platform.h"

namespace imptherm::testdata {

// A file of tests/data as it is on disk.
inline std::string Read(const std::string& name) {
  return fakes::ReadFile(std::string(IMPTHERM_TEST_DATA) + "/" + name);
}

// The lines of a CR LF file.
inline RecordLines Lines(const std::string& name) {
  const std::string text = Read(name);
  RecordLines lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(text.substr(at, end - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

// The expected EPL2 files are kept with plain LF line ends so that they can
// be read and written by hand; the printer gets CR LF.
inline std::string Epl(const std::string& name) {
  std::string out;
  for (char c : Read(name)) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace imptherm::testdata
