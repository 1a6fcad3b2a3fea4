// Folders and the environment on Windows: wide text in and out, the known folders, access
// checks by trial.

#include "platform/folders.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

#include "platform/files.h"
#include "platform/host.h"
#include "platform/windows/windows_api.h"
#include "tests/platform_windows/scratch_folder.h"

namespace {

platform::Environment FakeEnvironment(std::map<std::string, std::string> values) {
  return [values](const char* name) -> std::optional<std::string> {
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

TEST(WindowsFolders, MakesEveryMissingLevel) {
  ScratchFolder folder;
  const std::string deep = folder / "a\\b\\vorloader";
  EXPECT_EQ(platform::MakePrivateFolders(deep), "");
  EXPECT_TRUE(std::filesystem::is_directory(platform::win::Widen(deep)));
  EXPECT_EQ(platform::MakePrivateFolders(deep), "");  // already there
}

TEST(WindowsFolders, AFileInTheWayIsNamed) {
  ScratchFolder folder;
  ASSERT_FALSE(platform::ReplaceFile(folder / "blocker", "x"));
  const std::string message = platform::MakePrivateFolders(folder / "blocker\\below");
  EXPECT_EQ(message.rfind("cannot make folder " + folder / "blocker", 0), 0U) << message;
}

TEST(WindowsFolders, AccessIsFoundByTrial) {
  ScratchFolder folder;
  const platform::FolderAccess access = platform::AccessTo(folder.path());
  EXPECT_TRUE(access.read);
  EXPECT_TRUE(access.write) << access.writeError.message();
  EXPECT_TRUE(std::filesystem::is_empty(platform::win::Widen(folder.path())));  // the trial file is gone
  const platform::FolderAccess missing = platform::AccessTo(folder / "absent");
  EXPECT_FALSE(missing.read);
  EXPECT_FALSE(missing.write);
  EXPECT_TRUE(missing.readError);
  EXPECT_TRUE(missing.writeError);
}

TEST(WindowsFolders, UserFoldersComeFromLocalAppData) {
  EXPECT_EQ(
      platform::UserStateFolder(FakeEnvironment({{"LOCALAPPDATA", "D:\\Users\\tech\\AppData\\Local\\"}})),
      "D:\\Users\\tech\\AppData\\Local");
  EXPECT_EQ(platform::UserDataFolder(FakeEnvironment({{"LOCALAPPDATA", "D:\\Local"}})), "D:\\Local");
  // A relative value is no folder; the shell's known folder serves instead.
  const std::optional<std::string> known =
      platform::UserStateFolder(FakeEnvironment({{"LOCALAPPDATA", "rel"}}));
  ASSERT_TRUE(known);
  EXPECT_TRUE(std::filesystem::path(platform::win::Widen(*known)).is_absolute()) << *known;
}

TEST(WindowsFolders, MachineDataFolderIsAbsolute) {
  const std::string folder = platform::MachineDataFolder();
  EXPECT_TRUE(std::filesystem::path(platform::win::Widen(folder)).is_absolute()) << folder;
  EXPECT_NE(folder.back(), '\\');
}

TEST(WindowsFolders, EnvironmentIsReadAsUtf8) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"VORLOADER_TEST_TEXT", L"Stra\u00dfe \u2713"));
  ASSERT_TRUE(::SetEnvironmentVariableW(L"VORLOADER_TEST_EMPTY", L""));
  ::SetEnvironmentVariableW(L"VORLOADER_TEST_UNSET", nullptr);
  const platform::Environment env = platform::ProcessEnvironment();
  EXPECT_EQ(env("VORLOADER_TEST_TEXT"),
            "Stra\xc3\x9f"
            "e \xe2\x9c\x93");
  EXPECT_EQ(env("VORLOADER_TEST_EMPTY"), "");
  EXPECT_EQ(env("VORLOADER_TEST_UNSET"), std::nullopt);
}

TEST(WindowsHost, NameIsTheSystems) {
  std::array<wchar_t, 256> name{};
  DWORD size = static_cast<DWORD>(name.size() - 1);
  ASSERT_TRUE(::GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size));
  EXPECT_EQ(platform::HostName(), platform::win::Narrow(std::wstring_view(name.data(), size)));
  EXPECT_FALSE(platform::HostName().empty());
}

}  // namespace
