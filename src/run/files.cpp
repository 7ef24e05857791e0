#include "run/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error.h"

namespace imptherm {
namespace {

std::string Reason() { return std::strerror(errno); }

void WriteAll(std::FILE* f, const std::string& path, std::string_view bytes) {
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fflush(f) == 0) && ok;
  std::string why = ok ? "" : Reason();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) throw PlatformError("cannot write to " + path + ": " + (why.empty() ? Reason() : why));
}

}  // namespace

void AppendToFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) throw PlatformError("cannot append to " + path + ": " + Reason());
  WriteAll(f, path, bytes);
}

void CreateEmptyFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw PlatformError("cannot create " + path + ": " + Reason());
  WriteAll(f, path, {});
}

}  // namespace imptherm
