#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace imptherm {

// Keys of sections in an INI file, read and written the way the Windows
// profile functions do: section and key names match without regard to
// letter case, values come without surrounding blanks, the first of two
// sections or keys of one name is the one read and written, and writing a
// key changes that key's line only (or adds one at the end of its section,
// or a section at the end of the file): every other byte is kept.
// A file larger than kMaxFileSize is neither read nor written: every call
// raises PlatformError with the text of FileTooLarge.
class ProfileFiles {
 public:
  static constexpr std::uint64_t kMaxFileSize = 1 << 20;
  static std::string FileTooLarge(const std::string& path) {
    return "Fichier trop volumineux (plus de 1 Mo) : " + path;
  }

  virtual ~ProfileFiles() = default;

  // The value of `key` in `section` of the file; empty when the file, the
  // section or the key is missing. Every call sees the file as it now is on
  // disk.
  virtual std::string ReadString(const std::string& path, const std::string& section, const std::string& key) = 0;

  // Every key of `section` with its value, in file order; empty when the file
  // or the section is missing. One look at the file for many keys. The
  // entries stay until the next call on this object: a file read again and
  // again (once a job) is not copied each time.
  using Entries = std::vector<std::pair<std::string, std::string>>;
  virtual const Entries& ReadSection(const std::string& path, const std::string& section) = 0;

  // Sets `key` in `section`, creating the file and the section when needed.
  // The file is rewritten in place, never replaced. False when the file
  // cannot be written (a read-only file among others).
  virtual bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& value) = 0;

  // Makes what was written to the file durable. False when that fails.
  virtual bool Flush(const std::string& path) = 0;
};

}  // namespace imptherm
