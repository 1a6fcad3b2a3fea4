// The loader's folders: private folders made on the way, and the standard places by the
// environment.

#include "platform/folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/support/fixtures/temp_dir.h"

namespace {

platform::Environment EnvOf(std::map<std::string, std::string> vars) {
  return [vars](const char* name) -> std::optional<std::string> {
    const auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
}

TEST(Folders, PrivateFoldersAreMadeOnTheWay) {
  const testing_support::TempDir dir{"vor-folders"};
  const std::string deep = dir.Path("a/b/c");
  ASSERT_EQ(platform::MakePrivateFolders(deep), "");
  namespace fs = std::filesystem;
#ifndef _WIN32
  for (const std::string& level : {dir.Path("a"), dir.Path("a/b"), deep})
    EXPECT_EQ(fs::status(level).permissions() & fs::perms::all, fs::perms::owner_all) << level;
#endif
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(platform::MakePrivateFolders(deep), "");  // there already
  testing_support::WriteFile(dir.Path("file"), "x");
  // A file in the way: said, with its name.
  for (const std::string& blocked : {dir.Path("file"), dir.Path("file/below")})
    EXPECT_NE(platform::MakePrivateFolders(blocked).find(dir.Path("file")), std::string::npos) << blocked;

  const platform::FolderAccess access = platform::AccessTo(deep);
  EXPECT_TRUE(access.read);
  EXPECT_TRUE(access.write);
  const platform::FolderAccess none = platform::AccessTo(dir.Path("missing"));
  EXPECT_FALSE(none.read || none.write);
  EXPECT_EQ(none.readError, std::errc::no_such_file_or_directory);
}

#ifndef _WIN32
// The base directory rules of the free desktops; Windows has places of its own.
TEST(Folders, StandardPlacesFollowTheEnvironment) {
  struct Case {
    std::map<std::string, std::string> env;
    std::optional<std::string> state;
    std::optional<std::string> data;
  };
  const Case cases[] = {
      {{{"HOME", "/home/op"}}, "/home/op/.local/state", "/home/op/.local/share"},
      {{{"HOME", "/home/op"}, {"XDG_STATE_HOME", "/st"}, {"XDG_DATA_HOME", "/da"}}, "/st", "/da"},
      // Relative or empty: ignored.
      {{{"HOME", "/home/op"}, {"XDG_STATE_HOME", "st"}, {"XDG_DATA_HOME", ""}},
       "/home/op/.local/state",
       "/home/op/.local/share"},
      {{{"HOME", ""}}, std::nullopt, std::nullopt},
      {{}, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::UserStateFolder(EnvOf(c.env)), c.state);
    EXPECT_EQ(platform::UserDataFolder(EnvOf(c.env)), c.data);
  }
  EXPECT_EQ(platform::MachineDataFolder(), "/var/lib");
}
#endif

}  // namespace
