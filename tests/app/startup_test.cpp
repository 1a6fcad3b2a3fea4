// The start-up sequence and Check for Updates, over scripted ports and a local folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/app/workflow_fixture.h"

namespace app_tests {
namespace {

using Strings = std::vector<std::string>;

TEST_F(WorkflowTest, WithoutPortsTheCatalogueStepsRunAndNothingConnects) {
  Firmware("1.30");
  Make().RunStartupSequence();
  EXPECT_EQ(view.log,
            (Strings{"0 Com Ports Found.", "1 Product definitions Found.", "All Files found and Correct."}));
  EXPECT_FALSE(view.connectOn);
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_EQ(view.mainStatus, "");
  EXPECT_EQ(view.portStatus, "");  // never touched: the window shows "No Connection" from the start
  EXPECT_FALSE(loader->lastResult().has_value());
}

TEST_F(WorkflowTest, WithoutACatalogueTheDatabaseIsMissingAndConnectStaysGrey) {
  Device("1.20", "1.30");
  Make().RunStartupSequence();
  EXPECT_EQ(view.log, Strings{"1 Com Ports Found."});
  EXPECT_EQ(view.mainStatus, "Cannot Locate Product Database.");
  // Not a dead end: the note says where the catalogue goes and what goes with it.
  EXPECT_EQ(view.details,
            Strings{"the firmware folder " + folder.Path("") +
                    " holds no catalogue: it needs the catalogue file vornet_verinfo.xml and the "
                    "firmware files that file names"});
  EXPECT_FALSE(view.connectOn);
  EXPECT_FALSE(view.rawBootOn);
  EXPECT_TRUE(dev.seen().empty());
}

TEST_F(WorkflowTest, AFirmwareFolderProblemIsLoggedBeforeTheMissingDatabase) {
  const app::Options o(kOffline);
  const std::string problem = "No firmware folder: /nowhere/VORnet/ cannot be created (Permission denied).";
  TestLoader l(o, "", problem, view, opener);
  l.RunStartupSequence();
  EXPECT_EQ(view.log, (Strings{"0 Com Ports Found.", problem}));
  EXPECT_EQ(view.mainStatus, "Cannot Locate Product Database.");
  EXPECT_TRUE(view.details.empty());  // the problem line has said it all
}

TEST_F(WorkflowTest, TheStartUpDisablesConnectAndRawBootBeforeTheCatalogue) {
  Firmware("1.30");
  Make().RunStartupSequence();
  const auto off = std::find(view.calls.begin(), view.calls.end(), "connect: off");
  const auto db = std::find(view.calls.begin(), view.calls.end(), "main: Checking Product Database.");
  ASSERT_NE(off, view.calls.end());
  EXPECT_LT(off - view.calls.begin(), db - view.calls.begin());
  EXPECT_EQ(view.calls.front(), "main: Searching Valid Com Ports.");
}

TEST_F(WorkflowTest, CheckForUpdatesRebuildsTheTableAndLeavesTheButtonsAlone) {
  Firmware("1.30");
  Make().RunStartupSequence();
  view.calls.clear();
  view.log.clear();
  // The catalogue now names a version whose file is not here: offline, it is reported missing.
  catalogue_fixtures::WriteFile(folder.Path("vornet_verinfo.xml"), Catalogue("1.40"));
  loader->CheckForUpdates();
  EXPECT_EQ(view.log,
            (Strings{"1 Product definitions Found.", "Warning 1 Missing Files.", "Missing->amp.hex."}));
  EXPECT_TRUE(view.Calls("connect: ").empty());
  EXPECT_TRUE(view.Calls("rawboot: ").empty());
  EXPECT_TRUE(view.Calls("updates: ").empty());
  EXPECT_EQ(loader->products().m_prodVersion[0], "1.40");

  std::remove((folder.Path("vornet_verinfo.xml")).c_str());
  view.log.clear();
  loader->CheckForUpdates();
  EXPECT_TRUE(view.log.empty());
  EXPECT_EQ(view.mainStatus, "Cannot Locate Product Database.");
}

}  // namespace
}  // namespace app_tests
