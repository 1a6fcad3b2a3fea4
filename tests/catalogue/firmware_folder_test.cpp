// Where the firmware folder ends up, with the machine-wide and per-user folders pointed into
// throw-away folders. Tests run as root, so "cannot be created" is made by a path below a
// regular file or below a folder that does not exist, and "cannot be written" or "read" by a
// child process that has become an ordinary user.

#include "catalogue/firmware_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "tests/support/fixtures/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old)
      setenv(m_name, m_old->c_str(), 1);
    else
      unsetenv(m_name);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

struct FolderCase {
  const char* what;
  std::optional<std::string> programData;  // below the temporary folder; nullopt: unset
  std::string machine;                     // the machine-wide base when the variable is unset
  std::optional<std::string> xdgDataHome, home;
  std::string expected;   // below the temporary folder; "" when no folder can be had
  bool fellBack = false;  // the per-user folder, said in a detail
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(InitFirmwareFolder, ChoosesTheFirstFolderThatCanBeHad) {
  const std::vector<FolderCase> cases = {
      // A folder named by the environment is the folder, or there is none.
      {"named folder", "pd", "unused", "xdg", "home", "pd/VORnet/"},
      {"trailing separator in the setting", "pd/", "unused", "xdg", "home", "pd/VORnet/"},
      {"named folder holds a file named VORnet", "pd-with-file", "unused", "xdg", "home", ""},
      {"named folder below a file", "file/pd", "unused", "xdg", "home", ""},
      // Unset: the machine-wide folder, else the per-user one.
      {"machine-wide folder", std::nullopt, "pd", "xdg", "home", "pd/VORnet/"},
      {"machine-wide folder below a file", std::nullopt, "file/pd", "xdg", "home", "xdg/VORnet/", true},
      {"machine-wide folder does not exist", std::nullopt, "absent", "xdg", "home", "xdg/VORnet/", true},
      {"per-user folder and its parents created", std::nullopt, "file/pd", "new/deeper/share", "home",
       "new/deeper/share/VORnet/", true},
      {"no XDG_DATA_HOME", std::nullopt, "file/pd", std::nullopt, "home", "home/.local/share/VORnet/", true},
      {"relative XDG_DATA_HOME ignored", std::nullopt, "file/pd", "relative", "home",
       "home/.local/share/VORnet/", true},
      {"per-user folder below a file too", std::nullopt, "file/pd", "file/xdg", "home", ""},
      {"nowhere at all", std::nullopt, "file/pd", std::nullopt, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.MakeFolder("pd");
    dir.MakeFolder("pd-with-file");
    WriteFile(dir.Path("pd-with-file/VORnet"), "not a folder");
    WriteFile(dir.Path("file"), "a regular file");
    auto under = [&](const std::optional<std::string>& p) -> std::optional<std::string> {
      if (!p || *p == "relative") return p;
      return dir.Path(*p);
    };
    ScopedEnv pd("VORLOADER_PROGRAMDATA", under(c.programData));
    ScopedEnv xdg("XDG_DATA_HOME", under(c.xdgDataHome));
    ScopedEnv home("HOME", under(c.home));
    const std::string tried = dir.Path(c.programData ? *c.programData : c.machine);

    const auto result = catalogue::InitFirmwareFolder(dir.Path(c.machine));

    if (c.expected.empty()) {
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.path, "");
      // One line that names the folders tried.
      const std::string named = tried + (tried.back() == '/' ? "" : "/") + "VORnet/";
      EXPECT_NE(result.problem.find(named), std::string::npos) << result.problem;
      EXPECT_EQ(result.problem.find('\n'), std::string::npos);
    } else {
      EXPECT_TRUE(result.ok);
      EXPECT_TRUE(result.writable);
      EXPECT_EQ(result.path, dir.Path(c.expected));
      EXPECT_TRUE(result.problem.empty());
      EXPECT_TRUE(IsFolder(result.path));
      if (c.fellBack) {
        // One detail naming both folders; the per-user folder is private to the user.
        EXPECT_NE(result.detail.find(tried + "/VORnet/"), std::string::npos) << result.detail;
        EXPECT_NE(result.detail.find(result.path), std::string::npos) << result.detail;
        EXPECT_EQ(ModeOf(result.path), 0700u);
      } else {
        EXPECT_EQ(result.detail, "");
      }
    }
    // Only the last level is ever made below the machine-wide program data folder, and nothing
    // else is made when the folder is named.
    EXPECT_FALSE(IsFolder(dir.Path("absent")));
    if (c.programData) {
      EXPECT_FALSE(IsFolder(dir.Path("xdg")));
    }
    EXPECT_EQ(ReadFile(dir.Path("pd-with-file/VORnet")), "not a folder");
  }
}

// What InitFirmwareFolder answers, as it crosses back from a child process.
std::string Encode(const catalogue::FolderResult& r) {
  return std::string(r.ok ? "1" : "0") + (r.writable ? "1" : "0") + r.path + '\n' + r.problem + '\n' +
         r.detail;
}

// Runs InitFirmwareFolder as an ordinary user: the tests run as root, who may write anywhere.
std::string InitAsOrdinaryUser() {
  if (::geteuid() != 0) return Encode(catalogue::InitFirmwareFolder());
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    std::string out = "setuid failed";
    if (::setgid(65534) == 0 && ::setuid(65534) == 0) out = Encode(catalogue::InitFirmwareFolder());
    const ssize_t written = ::write(fds[1], out.data(), out.size());
    ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string got;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return got;
}

// A named folder that can be read but not written is used as it is, and says so; it is never
// swapped for the per-user folder.
TEST(InitFirmwareFolder, ANamedFolderThatCannotBeWrittenIsUsedAsItIs) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
  const std::string folder = dir.MakeFolder("pd/VORnet");
  WriteFile(folder + "vornet_verinfo.xml", "kept");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(dir.Path("pd").c_str(), 0755), 0);
  ScopedEnv pd("VORLOADER_PROGRAMDATA", dir.Path("pd"));
  ScopedEnv xdg("XDG_DATA_HOME", dir.Path("xdg"));

  const std::string got = InitAsOrdinaryUser();

  const std::string detail = "the firmware folder " + folder +
                             " cannot be written (Permission denied): its files are used as they are, "
                             "nothing is downloaded into it";
  EXPECT_EQ(got, "10" + folder + "\n\n" + detail);
  EXPECT_FALSE(IsFolder(dir.Path("xdg")));
  EXPECT_EQ(ReadFile(folder + "vornet_verinfo.xml"), "kept");
  ::chmod(folder.c_str(), 0755);
}

TEST(InitFirmwareFolder, ANamedFolderThatCannotBeReadIsNoFolder) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
  const std::string folder = dir.MakeFolder("pd/VORnet");
  ASSERT_EQ(::chmod(folder.c_str(), 0300), 0);
  ASSERT_EQ(::chmod(dir.Path("pd").c_str(), 0755), 0);
  ScopedEnv pd("VORLOADER_PROGRAMDATA", dir.Path("pd"));
  ScopedEnv xdg("XDG_DATA_HOME", dir.Path("xdg"));

  const std::string got = InitAsOrdinaryUser();

  EXPECT_EQ(got, "00\nNo firmware folder: cannot use " + folder + " (cannot be read: Permission denied).\n");
  EXPECT_FALSE(IsFolder(dir.Path("xdg")));
  ::chmod(folder.c_str(), 0755);
}

// A fresh machine whose setting names a folder not made yet: it is made with its parents, none
// of them writable by others, and the detail names it; the next start says nothing more.
TEST(InitFirmwareFolder, ANamedFolderThatDoesNotExistIsMadeWithItsParentsAndNamed) {
  TempDir dir;
  const std::string programData = dir.Path("new/deeper/pd");
  ScopedEnv pd("VORLOADER_PROGRAMDATA", programData);
  ScopedEnv xdg("XDG_DATA_HOME", dir.Path("xdg"));

  const auto first = catalogue::InitFirmwareFolder();
  ASSERT_TRUE(first.ok) << first.problem;
  EXPECT_TRUE(first.writable);
  EXPECT_EQ(first.path, programData + "/VORnet/");
  EXPECT_EQ(first.detail, "VORLOADER_PROGRAMDATA names " + programData +
                              ", which did not exist: it was made, with the firmware folder " + first.path +
                              " in it");
  for (const char* level : {"new", "new/deeper", "new/deeper/pd", "new/deeper/pd/VORnet"}) {
    EXPECT_TRUE(IsFolder(dir.Path(level))) << level;
    EXPECT_EQ(ModeOf(dir.Path(level)) & 022u, 0u) << level;
  }
  EXPECT_FALSE(IsFolder(dir.Path("xdg")));

  const auto second = catalogue::InitFirmwareFolder();
  EXPECT_EQ(second.path, first.path);
  EXPECT_EQ(second.detail, "");
}

TEST(InitFirmwareFolder, TheSecondStartFindsTheFolderAndItsFiles) {
  TempDir dir;
  ScopedEnv pd("VORLOADER_PROGRAMDATA", dir.MakeFolder("pd"));
  ScopedEnv xdg("XDG_DATA_HOME", dir.Path("xdg"));
  const auto first = catalogue::InitFirmwareFolder();
  ASSERT_TRUE(first.ok);
  WriteFile(first.path + "vornet_verinfo.xml", "kept");

  const auto second = catalogue::InitFirmwareFolder();
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(second.path, first.path);
  EXPECT_EQ(ReadFile(second.path + "vornet_verinfo.xml"), "kept");
  EXPECT_FALSE(IsFolder(dir.Path("xdg")));
}

}  // namespace
