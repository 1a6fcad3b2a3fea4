// Where the firmware folder ends up, with the machine-wide and per-user folders pointed into
// throw-away folders. Tests run as root, so "cannot be written" is made by a path below a
// regular file or below a folder that does not exist.

#include "catalogue/firmware_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>

#include "tests/catalogue/fixtures/firmware_fixture.h"

namespace {

using catalogue_fixtures::ReadFile;
using catalogue_fixtures::TempDir;
using catalogue_fixtures::WriteFile;

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
  std::string programData;  // below the temporary folder
  std::optional<std::string> xdgDataHome, home;
  std::string expected;  // below the temporary folder; "" when no folder can be had
};

TEST(InitFirmwareFolder, ChoosesTheFirstFolderThatCanBeHad) {
  const std::vector<FolderCase> cases = {
      {"machine-wide folder", "pd", "xdg", "home", "pd/VORnet/"},
      {"trailing separator in the setting", "pd/", "xdg", "home", "pd/VORnet/"},
      {"a file named VORnet", "pd-with-file", "xdg", "home", "xdg/VORnet/"},
      {"program data folder does not exist", "absent", "xdg", "home", "xdg/VORnet/"},
      {"program data folder below a file", "file/pd", "xdg", "home", "xdg/VORnet/"},
      {"per-user folder and its parents created", "file/pd", "new/deeper/share", "home",
       "new/deeper/share/VORnet/"},
      {"no XDG_DATA_HOME", "file/pd", std::nullopt, "home", "home/.local/share/VORnet/"},
      {"relative XDG_DATA_HOME ignored", "file/pd", "relative", "home", "home/.local/share/VORnet/"},
      {"per-user folder below a file too", "file/pd", "file/xdg", "home", ""},
      {"nowhere at all", "file/pd", std::nullopt, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.MakeFolder("pd");
    dir.MakeFolder("pd-with-file");
    WriteFile(dir.path() + "pd-with-file/VORnet", "not a folder");
    WriteFile(dir.path() + "file", "a regular file");
    auto under = [&](const std::optional<std::string>& p) -> std::optional<std::string> {
      if (!p || *p == "relative") return p;
      return dir.path() + *p;
    };
    ScopedEnv pd("VORLOADER_PROGRAMDATA", dir.path() + c.programData);
    ScopedEnv xdg("XDG_DATA_HOME", under(c.xdgDataHome));
    ScopedEnv home("HOME", under(c.home));
    catalogue::g_strFirmFolder = "stale";

    const auto result = catalogue::InitFirmwareFolder();

    if (c.expected.empty()) {
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.path, "");
      EXPECT_EQ(catalogue::g_strFirmFolder, "");
      // One line that names the folders tried.
      EXPECT_NE(result.problem.find(dir.path() + c.programData + "/VORnet/"), std::string::npos)
          << result.problem;
      EXPECT_EQ(result.problem.find('\n'), std::string::npos);
    } else {
      EXPECT_TRUE(result.ok);
      EXPECT_EQ(result.path, dir.path() + c.expected);
      EXPECT_EQ(catalogue::g_strFirmFolder, result.path);
      EXPECT_TRUE(result.problem.empty());
      EXPECT_TRUE(IsFolder(result.path));
    }
    // Only the last level is ever made below the program data folder.
    EXPECT_FALSE(IsFolder(dir.path() + "absent"));
    EXPECT_EQ(ReadFile(dir.path() + "pd-with-file/VORnet"), "not a folder");
  }
}

TEST(InitFirmwareFolder, TheSecondStartFindsTheFolderAndItsFiles) {
  TempDir dir;
  ScopedEnv pd("VORLOADER_PROGRAMDATA", dir.MakeFolder("pd"));
  ScopedEnv xdg("XDG_DATA_HOME", dir.path() + "xdg");
  const auto first = catalogue::InitFirmwareFolder();
  ASSERT_TRUE(first.ok);
  WriteFile(first.path + "vornet_verinfo.xml", "kept");

  const auto second = catalogue::InitFirmwareFolder();
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(second.path, first.path);
  EXPECT_EQ(ReadFile(second.path + "vornet_verinfo.xml"), "kept");
  EXPECT_FALSE(IsFolder(dir.path() + "xdg"));
}

}  // namespace
