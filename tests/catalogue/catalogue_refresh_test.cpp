// The online refresh of the catalogue: where it is fetched from and when it replaces the copy.

#include "catalogue/catalogue_refresh.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "catalogue/catalogue_text.h"
#include "tests/support/fixtures/temp_dir.h"
#include "tests/support/http/http_test_server.h"
#include "tests/support/recording_view.h"

namespace {

using testing_support::HttpFault;
using testing_support::HttpTestServer;
using testing_support::ListFolder;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kFile = catalogue::kCatalogueFile;

std::string Catalogue(const std::string& updateUrl, const std::string& version) {
  return "<VORNET_VERSIONS><VORNET_UPDATE_FOLDER_URL>" + updateUrl +
         "</VORNET_UPDATE_FOLDER_URL></VORNET_VERSIONS>\r\n<VORNET_FIRM_VERSIONS><VORNET_PRODUCT_CODES>A=0a1b"
         "</VORNET_PRODUCT_CODES><VOR_A_V>" +
         version + "</VOR_A_V></VORNET_FIRM_VERSIONS>\r\n";
}

class RefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Start());
    m_updateUrl = m_server.url() + "/upd";
    m_fresh = Catalogue(m_updateUrl, "1.80");
    WriteFile(m_dir.MakeFolder("srv/upd") + kFile, m_fresh);
  }
  void TearDown() override { unsetenv("VORLOADER_UPDATE_URL"); }

  // Refreshes and returns the log.
  std::vector<std::string> Refresh(bool offline = false) {
    testing_support::RecordingView view;
    catalogue::RefreshCatalogue(m_folder, offline, view);
    m_details = view.details;
    return view.log;
  }

  TempDir m_dir;
  std::string m_folder = m_dir.MakeFolder("fw");
  HttpTestServer m_server{m_dir.Path("srv")};
  std::string m_updateUrl, m_fresh;
  std::vector<std::string> m_details;
  testing_support::RecordingView m_view;
};

TEST_F(RefreshTest, FetchesFromTheUpdateFolderTheLocalCatalogueNames) {
  WriteFile(m_folder + kFile, Catalogue(m_updateUrl, "1.70"));
  EXPECT_EQ(Refresh(), std::vector<std::string>{"Checking Online..OK."});
  EXPECT_EQ(ReadFile(m_folder + kFile), m_fresh);
  EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/upd/" + kFile});
}

TEST_F(RefreshTest, WithoutALocalCatalogueFetchesFromTheDefaultUpdateFolder) {
  setenv("VORLOADER_UPDATE_URL", m_updateUrl.c_str(), 1);
  EXPECT_EQ(catalogue::DefaultUpdateUrl(), m_updateUrl);
  EXPECT_EQ(Refresh(), std::vector<std::string>{"Checking Online..OK."});
  EXPECT_EQ(ReadFile(m_folder + kFile), m_fresh);
}

TEST_F(RefreshTest, DefaultUpdateFolderIsTheSupportServer) {
  unsetenv("VORLOADER_UPDATE_URL");
  EXPECT_EQ(catalogue::DefaultUpdateUrl(), "http://support.vornet.example/software/vornet");
}

TEST_F(RefreshTest, OfflineNeitherFetchesNorLogs) {
  WriteFile(m_folder + kFile, Catalogue(m_updateUrl, "1.70"));
  EXPECT_TRUE(Refresh(true).empty());
  EXPECT_TRUE(m_server.requests().empty());
}

TEST_F(RefreshTest, KeepsTheLocalCopyUnlessTheNewOneHoldsAProductDatabase) {
  const std::string old = Catalogue(m_updateUrl, "1.70");
  struct Case {
    const char* what;
    std::string served;  // "" with a fault
    HttpFault fault = HttpFault::kNotFound;
    std::string cause = "not a catalogue";
  };
  const std::vector<Case> cases = {
      {"404", "", HttpFault::kNotFound, "HTTP status 404"},
      {"200 error page", "", HttpFault::kErrorPage},
      {"body cut short", "", HttpFault::kCutShort, "the body was cut short"},
      {"204 without a body", "", HttpFault::kNoContent, "HTTP status 204"},
      {"206 with half the catalogue", "", HttpFault::kPartial, "HTTP status 206"},
      {"endless body", "", HttpFault::kEndless, "too large (more than 1048576 bytes)"},
      {"no product block", "<VORNET_VERSIONS></VORNET_VERSIONS>"},
      {"empty product block", "<VORNET_FIRM_VERSIONS></VORNET_FIRM_VERSIONS>"},
      {"product block ends past byte 8,192",
       "<VORNET_FIRM_VERSIONS>" + std::string(8200, ' ') +
           "<VORNET_PRODUCT_CODES>A=0a1b</VORNET_PRODUCT_CODES></VORNET_FIRM_VERSIONS>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(m_folder + kFile, old);
    m_server.ClearFaults();
    if (c.served.empty()) {
      WriteFile(m_dir.Path("srv/upd/") + kFile, m_fresh);
      m_server.SetFault("/upd/" + kFile, c.fault);
    } else {
      WriteFile(m_dir.Path("srv/upd/") + kFile, c.served);
    }
    EXPECT_EQ(Refresh(), std::vector<std::string>{"Checking Online..Failed!"});
    EXPECT_EQ(m_details, std::vector<std::string>{m_updateUrl + "/" + kFile + ": " + c.cause});
    EXPECT_EQ(ReadFile(m_folder + kFile), old);
    EXPECT_EQ(ListFolder(m_folder), std::vector<std::string>{kFile});
  }
}

TEST_F(RefreshTest, ASuccessHasNoDetail) {
  WriteFile(m_folder + kFile, Catalogue(m_updateUrl, "1.70"));
  EXPECT_EQ(Refresh(), std::vector<std::string>{"Checking Online..OK."});
  EXPECT_TRUE(m_details.empty());
}

// A bad time limit setting is said, and the refresh goes on under the default limit.
TEST_F(RefreshTest, ABadTimeLimitSettingIsToldAndTheDefaultUsed) {
  WriteFile(m_folder + kFile, Catalogue(m_updateUrl, "1.70"));
  setenv("VORLOADER_DOWNLOAD_TIMEOUT", "soon", 1);
  EXPECT_EQ(Refresh(), std::vector<std::string>{"Checking Online..OK."});
  unsetenv("VORLOADER_DOWNLOAD_TIMEOUT");
  ASSERT_EQ(m_details.size(), 1u);
  EXPECT_NE(m_details[0].find("VORLOADER_DOWNLOAD_TIMEOUT=\"soon\""), std::string::npos) << m_details[0];
  EXPECT_EQ(ReadFile(m_folder + kFile), m_fresh);
}

TEST_F(RefreshTest, ATrickleOfACatalogueEndsAtTheTimeLimit) {
  const std::string old = Catalogue(m_updateUrl, "1.70");
  WriteFile(m_folder + kFile, old);
  m_server.SetFault("/upd/" + kFile, HttpFault::kTrickle);
  setenv("VORLOADER_DOWNLOAD_TIMEOUT", "1", 1);
  EXPECT_EQ(Refresh(), std::vector<std::string>{"Checking Online..Failed!"});
  unsetenv("VORLOADER_DOWNLOAD_TIMEOUT");
  EXPECT_EQ(m_details, std::vector<std::string>{m_updateUrl + "/" + kFile + ": timed out"});
  EXPECT_EQ(ReadFile(m_folder + kFile), old);
  EXPECT_EQ(ListFolder(m_folder), std::vector<std::string>{kFile});
}

// With no folder at all, the note says that, and names no folder.
TEST_F(RefreshTest, WithoutAFirmwareFolderNothingIsWritten) {
  setenv("VORLOADER_UPDATE_URL", m_updateUrl.c_str(), 1);
  for (const bool saidWritable : {false, true}) {
    testing_support::RecordingView view;
    EXPECT_FALSE(saidWritable ? catalogue::RefreshCatalogue("", false, true, view)
                              : catalogue::RefreshCatalogue("", false, view));
    EXPECT_EQ(view.log, std::vector<std::string>{"Checking Online..Failed!"});
    EXPECT_EQ(view.details,
              std::vector<std::string>{"there is no firmware folder to download the catalogue into"});
  }
  EXPECT_TRUE(m_server.requests().empty());
}

// What was fetched, or tried, comes back to the caller.
TEST_F(RefreshTest, TellsTheCallerWhatItFetched) {
  EXPECT_FALSE(catalogue::RefreshCatalogue(m_folder, true, m_view).has_value());
  setenv("VORLOADER_UPDATE_URL", (m_server.url() + "/gone").c_str(), 1);
  const auto failed = catalogue::RefreshCatalogue(m_folder, false, m_view);
  ASSERT_TRUE(failed.has_value());
  EXPECT_FALSE(failed->ok());
  EXPECT_EQ(failed->url, m_server.url() + "/gone/" + kFile);
  WriteFile(m_folder + kFile, Catalogue(m_updateUrl, "1.70"));
  const auto fetched = catalogue::RefreshCatalogue(m_folder, false, m_view);
  ASSERT_TRUE(fetched.has_value());
  EXPECT_TRUE(fetched->ok());
}

TEST_F(RefreshTest, AFolderThatCannotBeWrittenIsNotDownloadedInto) {
  const std::string old = Catalogue(m_updateUrl, "1.70");
  WriteFile(m_folder + kFile, old);
  testing_support::RecordingView view;
  catalogue::RefreshCatalogue(m_folder, false, false, view);
  EXPECT_EQ(view.log, std::vector<std::string>{"Checking Online..Failed!"});
  EXPECT_EQ(view.details,
            std::vector<std::string>{"the firmware folder " + m_folder +
                                     " cannot be written: the catalogue is not downloaded into it"});
  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_EQ(ReadFile(m_folder + kFile), old);
}

}  // namespace
