#pragma once
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/output_file.h"

namespace imptherm::posix {

// A file by what it is rather than by its name: its device and inode.
struct FileIdentity {
  dev_t device;
  ino_t inode;
};

// OpenOutputFile(path, mode), and refused before a byte of it changes when
// the file is `notThis`: a program that reads one file and writes another
// must not empty what it is reading.
std::unique_ptr<OutputFile> OpenOutputFileBesides(const std::string& path, OpenMode mode,
                                                  std::optional<FileIdentity> notThis);

// The file emptied and written whole (a picture), left empty rather than
// half written when the write fails; raises PlatformError naming it.
void WriteWholeFile(const std::string& path, std::string_view bytes, std::optional<FileIdentity> notThis);

}  // namespace imptherm::posix
