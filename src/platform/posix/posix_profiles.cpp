#include "platform/posix/posix_profiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "platform/error.h"
#include "platform/posix/unique_fd.h"

namespace imptherm::posix {
namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

// One line of the file: its text from `begin` to `textEnd`, then its line end
// (CR LF, LF or a lone CR, as the profile functions accept) up to `end`; and
// what the text says: a section header, a key with its value, or nothing the
// profile functions read (blank, comment, text without '=').
struct Line {
  std::size_t begin = 0, textEnd = 0, end = 0;
  enum Kind { Other, Section, Key } kind = Other;
  std::string_view name, value;  // views into the file's bytes
  bool blank = true;
};

void Parse(std::string_view text, Line& line) {
  const std::string_view t = Trimmed(text);
  line.blank = t.empty();
  if (t.empty() || t[0] == ';') return;
  if (t[0] == '[') {
    const std::size_t close = t.find(']');
    if (close != std::string_view::npos) {
      line.kind = Line::Section;
      line.name = Trimmed(t.substr(1, close - 1));
    }
    return;
  }
  const std::size_t equals = t.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view key = Trimmed(t.substr(0, equals));
  if (key.empty()) return;
  line.kind = Line::Key;
  line.name = key;
  line.value = Trimmed(t.substr(equals + 1));
}

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < bytes.size()) {
    const std::size_t at = std::min(bytes.find_first_of("\r\n", begin), bytes.size());
    const std::size_t end = at + (at == bytes.size() ? 0 : bytes.substr(at, 2) == "\r\n" ? 2 : 1);
    Line& line = lines.emplace_back();
    line.begin = begin;
    line.textEnd = at;
    line.end = end;
    Parse(bytes.substr(begin, at - begin), line);
    begin = end;
  }
  return lines;
}

// The lines of the first section called `section`: from the line after its
// header to the next header. Nothing when the file has no such section.
struct SectionSpan {
  std::size_t header, first, last;  // indexes into the lines; [first, last)
};

std::optional<SectionSpan> FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Line::Section || !SameName(lines[i].name, section)) continue;
    std::size_t j = i + 1;
    while (j < lines.size() && lines[j].kind != Line::Section) ++j;
    return SectionSpan{i, i + 1, j};
  }
  return std::nullopt;
}

// The file's bytes; nothing when it does not exist. A file that cannot be
// read reads as missing, as the profile functions see it.
std::optional<std::string> ReadFileBytes(int fd, const std::string& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (static_cast<std::uint64_t>(st.st_size) > ProfileFiles::kMaxFileSize)
    throw PlatformError(ProfileFiles::FileTooLarge(path));
  // One byte more than the size asked for: a short read then ends the file.
  std::string bytes(static_cast<std::size_t>(st.st_size) + 1, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    if (got >= static_cast<std::size_t>(st.st_size) && got < bytes.size()) break;
  }
  if (got > ProfileFiles::kMaxFileSize) throw PlatformError(ProfileFiles::FileTooLarge(path));
  bytes.resize(got);
  return bytes;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return std::nullopt;
  return ReadFileBytes(fd.get(), path);
}

// The file as the profile functions leave it once `key` of `section` is
// `value`.
std::string Edited(const std::string& bytes, const std::string& section, const std::string& key,
                   const std::string& value) {
  const std::vector<Line> lines = SplitLines(bytes);
  const std::string entry = key + "=" + value;
  const auto span = FindSection(lines, section);
  if (!span) {
    const bool ended = bytes.empty() || bytes.back() == '\n' || bytes.back() == '\r';
    return bytes + (ended ? "" : "\r\n") + "[" + section + "]\r\n" + entry + "\r\n";
  }
  std::size_t lastFilled = span->header;
  for (std::size_t i = span->first; i < span->last; ++i) {
    const Line& line = lines[i];
    if (line.kind == Line::Key && SameName(line.name, key)) {
      // The line keeps its key as spelled in the file and its own line end.
      std::string out = bytes;
      out.replace(line.begin, line.textEnd - line.begin, std::string(line.name) + "=" + value);
      return out;
    }
    if (!line.blank) lastFilled = i;
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

bool PosixProfiles::Stamp::operator==(const Stamp& o) const {
  return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
         mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

const ProfileFiles::Entries& PosixProfiles::ReadSection(const std::string& path, const std::string& section) {
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  const Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  if (exists && kept_.valid && kept_.stamp == stamp && kept_.path == path && kept_.section == section)
    return kept_.entries;
  kept_.valid = false;
  Entries& entries = read_;
  entries.clear();
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return entries;
  const std::vector<Line> lines = SplitLines(*bytes);
  if (const auto span = FindSection(lines, section)) {
    for (std::size_t i = span->first; i < span->last; ++i)
      if (lines[i].kind == Line::Key) entries.emplace_back(lines[i].name, lines[i].value);
  }
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const auto ms = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000; };
  const bool settled = ms(now) - std::max(ms(st.st_mtim), ms(st.st_ctim)) > 50;
  if (!exists || !settled) return entries;
  kept_ = {true, path, section, stamp, std::move(entries)};
  return kept_.entries;
}

// In place, as the profile functions write: a read-only file stays as it is
// (also for root, who could open it), and nothing renames another file over
// it. Only the bytes from the first change on are written again.
bool PosixProfiles::WriteString(const std::string& path, const std::string& section, const std::string& key,
                                const std::string& value) {
  kept_.valid = false;
  const UniqueFd owned(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!owned) return false;
  const int fd = owned.get();
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
