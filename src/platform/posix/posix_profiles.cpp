#include "platform/posix/posix_profiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "platform/error.h"

namespace imptherm::posix {
namespace {

// One line of the file: its text from `begin` to `textEnd`, then its line end
// (CR LF, LF or a lone CR, as the profile functions accept) up to `end`.
struct Line {
  std::size_t begin, textEnd, end;
};

std::vector<Line> SplitLines(const std::string& bytes) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    std::size_t at = bytes.find_first_of("\r\n", begin);
    if (at == std::string::npos) {
      lines.push_back({begin, bytes.size(), bytes.size()});
      break;
    }
    const std::size_t end = at + (bytes.compare(at, 2, "\r\n") == 0 ? 2 : 1);
    lines.push_back({begin, at, end});
    begin = end;
  }
  return lines;
}

// What a line says: a section header, a key with its value, or nothing that
// the profile functions read (blank, comment, text without '=').
struct Meaning {
  enum Kind { Other, Section, Key } kind = Other;
  std::string name, value;
};

Meaning Parse(std::string_view text) {
  const std::string line = TrimBlanks(text);
  Meaning m;
  if (line.empty() || line[0] == ';') return m;
  if (line[0] == '[') {
    const std::size_t close = line.find(']');
    if (close != std::string::npos) m = {Meaning::Section, TrimBlanks(line.substr(1, close - 1)), {}};
    return m;
  }
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return m;
  std::string key = TrimBlanks(line.substr(0, equals));
  if (!key.empty()) m = {Meaning::Key, std::move(key), TrimBlanks(line.substr(equals + 1))};
  return m;
}

bool SameName(const std::string& a, const std::string& b) { return UpperAscii(a) == UpperAscii(b); }

// The lines of the first section called `section`: from the line after its
// header to the next header. Nothing when the file has no such section.
struct SectionSpan {
  std::size_t header, first, last;  // indexes into the lines; [first, last)
};

std::optional<SectionSpan> FindSection(const std::string& bytes, const std::vector<Line>& lines,
                                       const std::string& section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Meaning m = Parse(std::string_view(bytes).substr(lines[i].begin, lines[i].textEnd - lines[i].begin));
    if (m.kind != Meaning::Section || !SameName(m.name, section)) continue;
    std::size_t j = i + 1;
    while (j < lines.size() &&
           Parse(std::string_view(bytes).substr(lines[j].begin, lines[j].textEnd - lines[j].begin)).kind !=
               Meaning::Section)
      ++j;
    return SectionSpan{i, i + 1, j};
  }
  return std::nullopt;
}

Meaning LineMeaning(const std::string& bytes, const Line& line) {
  return Parse(std::string_view(bytes).substr(line.begin, line.textEnd - line.begin));
}

// The file's bytes; nothing when it does not exist. A file that cannot be
// read reads as missing, as the profile functions see it.
std::optional<std::string> ReadFileBytes(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (static_cast<std::uint64_t>(st.st_size) > ProfileFiles::kMaxFileSize)
    throw PlatformError(ProfileFiles::FileTooLarge(path));
  std::string bytes;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
    if (bytes.size() > ProfileFiles::kMaxFileSize) throw PlatformError(ProfileFiles::FileTooLarge(path));
  }
  return bytes;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  return ReadFileBytes(fd, path);
}

// The file as the profile functions leave it once `key` of `section` is
// `value`.
std::string Edited(const std::string& bytes, const std::string& section, const std::string& key,
                   const std::string& value) {
  const std::vector<Line> lines = SplitLines(bytes);
  const std::string entry = key + "=" + value;
  const auto span = FindSection(bytes, lines, section);
  if (!span) {
    const bool ended = bytes.empty() || bytes.back() == '\n' || bytes.back() == '\r';
    return bytes + (ended ? "" : "\r\n") + "[" + section + "]\r\n" + entry + "\r\n";
  }
  std::size_t lastFilled = span->header;
  for (std::size_t i = span->first; i < span->last; ++i) {
    const Meaning m = LineMeaning(bytes, lines[i]);
    if (m.kind == Meaning::Key && SameName(m.name, key)) {
      // The line keeps its key as spelled in the file and its own line end.
      std::string out = bytes;
      out.replace(lines[i].begin, lines[i].textEnd - lines[i].begin, m.name + "=" + value);
      return out;
    }
    if (!TrimBlanks(std::string_view(bytes).substr(lines[i].begin, lines[i].textEnd - lines[i].begin)).empty())
      lastFilled = i;
  }
  // A new key goes after the section's last line that holds anything, so
  // blank lines that set sections apart stay where they are.
  const Line& after = lines[lastFilled];
  const bool ended = after.end > after.textEnd;
  std::string out = bytes;
  out.insert(after.end, (ended ? "" : "\r\n") + entry + "\r\n");
  return out;
}

bool WriteAt(int fd, const std::string& bytes, std::size_t from) {
  while (from < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + from, bytes.size() - from, static_cast<off_t>(from));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    from += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Unquoted(std::string value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

std::string PosixProfiles::ReadString(const std::string& path, const std::string& section, const std::string& key) {
  // A value in quotes comes without them, as GetPrivateProfileString gives it.
  for (const auto& [name, value] : ReadSection(path, section))
    if (SameName(name, key)) return Unquoted(value);
  return {};
}

ProfileFiles::Entries PosixProfiles::ReadSection(const std::string& path, const std::string& section) {
  Entries entries;
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return entries;
  const std::vector<Line> lines = SplitLines(*bytes);
  const auto span = FindSection(*bytes, lines, section);
  if (!span) return entries;
  for (std::size_t i = span->first; i < span->last; ++i) {
    Meaning m = LineMeaning(*bytes, lines[i]);
    if (m.kind == Meaning::Key) entries.emplace_back(std::move(m.name), std::move(m.value));
  }
  return entries;
}

// In place, as the profile functions write: a read-only file stays as it is
// (also for root, who could open it), and nothing renames another file over
// it. Only the bytes from the first change on are written again.
bool PosixProfiles::WriteString(const std::string& path, const std::string& section, const std::string& key,
                                const std::string& value) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return false;
  const auto bytes = ReadFileBytes(fd, path);
  if (!bytes) return false;
  const std::string edited = Edited(*bytes, section, key, value);
  if (edited == *bytes) return true;
  std::size_t from = 0;
  while (from < bytes->size() && from < edited.size() && (*bytes)[from] == edited[from]) ++from;
  if (!WriteAt(fd, edited, from)) return false;
  return edited.size() >= bytes->size() || ::ftruncate(fd, static_cast<off_t>(edited.size())) == 0;
}

bool PosixProfiles::Flush(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace imptherm::posix
