#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "common/files.h"
#include "fakes/fake_platform.h"
#include "platform/error.h"
#include "platform/posix/posix_system.h"

namespace imptherm {
namespace {

namespace fs = std::filesystem;

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sets the umask for a test and puts the old one back.
struct Umask {
  explicit Umask(mode_t m) : old(::umask(m)) {}
  ~Umask() { ::umask(old); }
  mode_t old;
};

// What another user could leave in a shared temp folder before a run, and
// what the run does with it: new files are private whatever the umask,
// planted names are refused and what they point to stays untouched.
TEST(OutputFileTest, NewFilesArePrivateAndPlantedNamesAreRefused) {
  fakes::TempDir dir;
  Umask open(0);
  const std::string name = dir.path() + "ImpThermOrvane.Log", target = dir.path() + "target";
  const bool root = ::geteuid() == 0;
  posix::PosixSystem system;
  const struct {
    const char* what;
    std::function<void()> plant;
    std::string refusal;  // empty: the write goes through
  } cases[] = {
      {"new file", [] {}, ""},
      {"own file",
       [&] {
         dir.Write("ImpThermOrvane.Log", "old\n");
         fs::permissions(name, fs::perms(0644));
       },
       ""},
      {"symbolic link", [&] { fs::create_symlink(target, name); }, "it is a symbolic link"},
      {"dangling symbolic link", [&] { fs::create_symlink(dir.path() + "nowhere", name); }, "it is a symbolic link"},
      {"hard link", [&] { fs::create_hard_link(target, name); }, "it has other names (hard links)"},
      {"another user's file",
       [&] {
         dir.Write("ImpThermOrvane.Log", "theirs\n");
         ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
       },
       "it belongs to another user"},
  };
  for (const auto& c : cases) {
    if (!root && std::string(c.what) == "another user's file") continue;  // needs root to plant
    fs::remove(name);
    dir.Write("target", "keep\n");
    c.plant();
    const std::string before = fs::exists(name) && !fs::is_symlink(name) ? dir.Read("ImpThermOrvane.Log") : "";
    for (bool empty : {false, true}) {
      try {
        empty ? CreateEmptyFile(system, name) : AppendToFile(system, name, "line\r\n");
        EXPECT_EQ(c.refusal, "") << c.what;
      } catch (const PlatformError& e) {
        EXPECT_EQ(std::string(e.what()), (empty ? "cannot create " : "cannot append to ") + name + ": " + c.refusal)
            << c.what;
      }
    }
    EXPECT_EQ(dir.Read("target"), "keep\n") << c.what;
    EXPECT_FALSE(fs::exists(dir.path() + "nowhere")) << c.what;
    if (c.refusal.empty()) {
      EXPECT_EQ(dir.Read("ImpThermOrvane.Log"), "") << c.what;  // appended, then emptied
      EXPECT_EQ(Mode(name), std::string(c.what) == "new file" ? 0600u : 0644u) << c.what;
    } else if (!before.empty()) {
      EXPECT_EQ(dir.Read("ImpThermOrvane.Log"), before) << c.what;
    }
  }
}

// A file appended to again and again stays open between appends; a file
// moved, deleted or given a second name in between is never written to
// through the old handle.
TEST(OutputFileTest, AFileTakenAwayBetweenTwoAppendsIsLeftAlone) {
  fakes::TempDir dir;
  posix::PosixSystem system;
  const std::string name = dir.path() + "etiquettesOrvane.txt", moved = dir.path() + "moved";
  const struct {
    const char* what;
    std::function<void()> takeAway;
  } cases[] = {
      {"moved", [&] { fs::rename(name, moved); }},
      {"given a second name", [&] { fs::create_hard_link(name, moved); }},
  };
  for (const auto& c : cases) {
    fs::remove(name);
    fs::remove(moved);
    AppendToFile(system, name, "job 1\r\n");
    c.takeAway();
    try {
      AppendToFile(system, name, "job 2\r\n");
    } catch (const PlatformError&) {
    }
    EXPECT_EQ(dir.Read("moved"), "job 1\r\n") << c.what;
  }
  fs::remove(moved);
  fs::remove(name);
  AppendToFile(system, name, "job 3\r\n");
  EXPECT_EQ(dir.Read("etiquettesOrvane.txt"), "job 3\r\n");
}

// Without TMPDIR the files go to a folder of the user's own, made 0700.
TEST(OutputFileTest, DefaultTempFolderIsPrivate) {
  fakes::TempDir dir;
  Umask open(0);
  struct Env {
    std::string name;
    std::optional<std::string> old;
    Env(std::string n, const char* value) : name(std::move(n)) {
      if (const char* v = std::getenv(name.c_str())) old = v;
      value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
    }
    ~Env() { old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str()); }
  } tmp("TMPDIR", nullptr), run("XDG_RUNTIME_DIR", nullptr), cache("XDG_CACHE_HOME", (dir.path() + "cache").c_str());
  posix::PosixSystem system;
  EXPECT_EQ(system.TempPath(), dir.path() + "cache/impthermorvane");
  EXPECT_EQ(Mode(dir.path() + "cache/impthermorvane"), 0700u);
  EXPECT_EQ(Mode(dir.path() + "cache"), 0700u);

  fs::remove(dir.path() + "cache/impthermorvane");
  fs::create_symlink(dir.path(), dir.path() + "cache/impthermorvane");
  try {
    system.TempPath();
    ADD_FAILURE() << "a symbolic link was taken for the temp folder";
  } catch (const PlatformError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot use folder " + dir.path() + "cache/impthermorvane: it is a symbolic link");
  }
}

}  // namespace
}  // namespace imptherm
