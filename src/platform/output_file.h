#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace imptherm {

// A file the system writes (System::OpenOutputFile opens it): the logs, the label data file, the job file.
// POSIX opens it by rules that keep other users of a shared folder out: a
// file it creates is readable by its owner only (0600, whatever the umask),
// and a name that is a symbolic link, another user's file, a file with
// several names or no plain file at all is refused instead of followed.
// Windows opens it as any program does (the temporary folder is private to
// the user there). Every failure raises PlatformError with a readable text.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // The size the file now has.
  virtual std::uint64_t Size() = 0;
  // Adds the bytes at the end of the file.
  virtual void Write(std::string_view bytes) = 0;
  // Cuts the file back to `size` bytes (to undo a write that failed halfway).
  virtual void Truncate(std::uint64_t size) = 0;
  // Closes the file; raises when what was written did not reach it.
  virtual void Close() = 0;
};

enum class OpenMode {
  Append,  // created when missing, kept as it is otherwise
  Empty,   // created when missing, emptied otherwise
};

}  // namespace imptherm
