// Programming reloads the file the check accepted and confirms it is still the very same file.

#include "catalogue/checked_firmware.h"

#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "catalogue/file_check.h"
#include "catalogue/stale_temporary_files.h"
#include "image/firmware_decoder.h"
#include "tests/catalogue/fixtures/firmware_fixture.h"
#include "tests/support/fixtures/product_rows.h"
#include "tests/support/recording_view.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kTag = "VOR_T0a1b_V";

class LoadCheckedFirmwareTest : public ::testing::Test {
 protected:
  // Checks `bytes` as row 0's file (offline) and returns the number of usable rows.
  int CheckWith(const std::string& bytes, bool keepUntagged = false) {
    WriteFile(m_folder + "a.hex", bytes);
    m_table = testing_support::ProductTableOf({{.code = "0a1b", .version = "1.70", .file = "a.hex"}});
    testing_support::RecordingView view;
    return catalogue::CheckFirmwareFiles(m_folder, m_table, "", true, keepUntagged, view);
  }

  bool Load(image::MemImage& out, std::string& why) {
    return catalogue::LoadCheckedFirmware(m_folder, m_table, 0, out, why);
  }

  TempDir m_dir;
  std::string m_folder = m_dir.MakeFolder("fw");
  catalogue::ProductTable m_table;
};

TEST_F(LoadCheckedFirmwareTest, AnUnchangedFileGivesTheImageADecodeGives) {
  for (const std::string& file : {catalogue_fixtures::EncryptedFirmware(kTag + "1.70"),
                                  catalogue_fixtures::PlainFirmware(kTag + "1.70")}) {
    ASSERT_EQ(CheckWith(file), 1);
    image::MemImage loaded, decoded;
    std::string why = "stale";
    EXPECT_TRUE(Load(loaded, why));
    EXPECT_EQ(why, "");
    ASSERT_GE(image::DecodeFirmwareFile(m_folder + "a.hex", decoded), 0);
    EXPECT_EQ(loaded.Bytes(), decoded.Bytes());
    EXPECT_EQ(loaded.GetPosition(), 0u);
  }
}

TEST_F(LoadCheckedFirmwareTest, AnUntaggedFileKeptByTheOptionLoadsAsChecked) {
  ASSERT_EQ(CheckWith(catalogue_fixtures::PlainFirmware("no version here"), true), 1);
  image::MemImage loaded;
  std::string why;
  EXPECT_TRUE(Load(loaded, why)) << why;
  EXPECT_GT(loaded.GetLength(), 0u);
}

TEST_F(LoadCheckedFirmwareTest, AnyChangeSinceTheCheckIsRefused) {
  const std::string good = catalogue_fixtures::EncryptedFirmware(kTag + "1.70");
  std::string sameLength = good;
  sameLength[sameLength.size() / 2] = static_cast<char>(sameLength[sameLength.size() / 2] ^ 0x01);
  const std::string file = "firmware file " + m_folder + "a.hex";
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> change;
    std::string why;
  };
  const std::vector<Case> cases = {
      {"one byte changed, same length", [&](const std::string& p) { WriteFile(p, sameLength); },
       file + " changed since it was checked"},
      {"truncated", [&](const std::string& p) { WriteFile(p, good.substr(0, good.size() - 16)); },
       file + " changed since it was checked"},
      {"another valid image of another version",
       [&](const std::string& p) { WriteFile(p, catalogue_fixtures::EncryptedFirmware(kTag + "1.80")); },
       file + " changed since it was checked"},
      {"removed", [](const std::string& p) { std::filesystem::remove(p); }, file + " does not exist"},
      {"grown past the largest firmware file",
       [](const std::string& p) {
         ASSERT_EQ(::truncate(p.c_str(), static_cast<off_t>(image::kMaxFirmwareFileSize + 1)), 0);
       },
       file + " is larger than 32 MiB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(CheckWith(good), 1);
    c.change(m_folder + "a.hex");
    image::MemImage loaded;
    std::string why;
    EXPECT_FALSE(Load(loaded, why));
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(loaded.GetLength(), 0u);
  }
}

// The recorded scan is part of what is confirmed, not only the bytes.
TEST_F(LoadCheckedFirmwareTest, ARecordThatNoLongerMatchesTheScanIsRefused) {
  ASSERT_EQ(CheckWith(catalogue_fixtures::EncryptedFirmware(kTag + "1.70")), 1);
  m_table.m_prodScan[0] = kTag + "1.60";
  image::MemImage loaded;
  std::string why;
  EXPECT_FALSE(Load(loaded, why));
  EXPECT_EQ(why, "firmware file " + m_folder + "a.hex no longer holds " + kTag + "1.60");
}

TEST_F(LoadCheckedFirmwareTest, ARowWithoutACheckedFileIsRefused) {
  ASSERT_EQ(CheckWith(catalogue_fixtures::EncryptedFirmware(kTag + "0.99")), 0);
  image::MemImage loaded;
  std::string why;
  EXPECT_FALSE(Load(loaded, why));
  EXPECT_EQ(why, "product row 0 has no checked firmware file");
  EXPECT_FALSE(catalogue::LoadCheckedFirmware(m_folder, m_table, 5, loaded, why));
  EXPECT_EQ(why, "product row 5 has no checked firmware file");
}

TEST(RemoveStaleTemporaryFiles, RemovesOnlyTheLoadersOwnTemporaryFiles) {
  TempDir dir;
  const std::string folder = dir.MakeFolder("fw");
  for (const char* name : {".vordl-a1B2c3", ".vordl-XXXXXX", "a.hex", "vornet_verinfo.xml", ".vordl-abc",
                           ".vordl-a1B2c3.hex", "x.vordl-a1B2c3"})
    WriteFile(folder + name, "x");
  dir.MakeFolder("fw/.vordl-folder");  // not a plain file
  dir.MakeFolder("fw/.vordl-dir123");
  std::filesystem::create_symlink(folder + "a.hex", folder + ".vordl-link12");

  EXPECT_EQ(catalogue::RemoveStaleTemporaryFiles(folder), 2);
  EXPECT_EQ(testing_support::ListFolder(folder),
            (std::vector<std::string>{".vordl-a1B2c3.hex", ".vordl-abc", ".vordl-dir123", ".vordl-folder",
                                      ".vordl-link12", "a.hex", "vornet_verinfo.xml", "x.vordl-a1B2c3"}));
  EXPECT_EQ(catalogue::RemoveStaleTemporaryFiles(folder.substr(0, folder.size() - 1)), 0);
  EXPECT_EQ(catalogue::RemoveStaleTemporaryFiles(dir.Path("absent/")), 0);
  EXPECT_EQ(catalogue::RemoveStaleTemporaryFiles(""), 0);
}

TEST(RemoveStaleTemporaryFiles, LeavesAFileStillBeingWritten) {
  TempDir dir;
  const std::string folder = dir.MakeFolder("fw");
  WriteFile(folder + ".vordl-live12", "x");
  WriteFile(folder + ".vordl-dead12", "x");
  const timeval hourAgo[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimes((folder + ".vordl-dead12").c_str(), hourAgo), 0);
  EXPECT_EQ(catalogue::RemoveStaleTemporaryFiles(folder, std::chrono::minutes(2)), 1);
  EXPECT_EQ(testing_support::ListFolder(folder), (std::vector<std::string>{".vordl-live12"}));
}

}  // namespace
