// A station profile's approved images and who runs the loader for what: a device whose image is
// not approved is refused before any question and before its flash is touched; every run's
// facts name the operator, the work order and the profile.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/site_control.h"
#include "image/sha256.h"
#include "tests/app/workflow_fixture.h"

namespace app_tests {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kOtherSha = "00000000000000000000000000000000000000000000000000000000000000ff";

class ApprovedImageTest : public WorkflowTest {
 protected:
  std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();

  std::string FileSha() {
    const auto digest = image::Sha256Of(catalogue_fixtures::ReadFile(folder.Path("amp.hex")));
    return digest ? image::Sha256Hex(*digest) : std::string();
  }

  // A session under a profile named "Line 3" approving `approved` (none: no list at all).
  void Run(std::optional<std::vector<app::ApprovedImage>> approved, int options = kOffline) {
    auto site = std::make_shared<app::SiteControl>();
    site->operatorName = "Ana";
    site->workOrder = "WO-7";
    site->profileName = "Line 3";
    site->profileSha256 = std::string(64, 'c');
    site->approved = std::move(approved);
    Make(options).RunStartupSequence(false);
    loader->session().SetSiteControl(site);
    loader->session().SetRecordSink(sink);
    loader->OnConnect();
  }

  void ExpectRefusedUntouched() {
    EXPECT_EQ(loader->lastResult(), RESULT_NOT_APPROVED);
    EXPECT_EQ(view.log.back(), "E17-Image not approved by the profile.");
    EXPECT_TRUE(view.Calls("ask: ").empty()) << "nothing is asked about an image that may not go";
    for (const char* step : {"boot", "erase"})
      EXPECT_EQ(std::count(dev.seen().begin(), dev.seen().end(), step), 0) << step;
    EXPECT_TRUE(dev.image().empty());
    EXPECT_TRUE(view.Calls("transfer: ").empty());
    EXPECT_EQ(view.mainStatus, "..") << "a refusal, not a failure";
    EXPECT_FALSE(view.rawBootOn);
    ASSERT_EQ(sink->records.size(), 1u);
    const app::RunRecord& r = sink->records[0];
    EXPECT_EQ(r.code, 17);
    EXPECT_EQ(r.result, "E17-Image not approved by the profile.");
    EXPECT_EQ(r.file, "amp.hex");
    EXPECT_EQ(r.sha256, FileSha()) << "the record names the image refused";
    EXPECT_EQ(r.eraseBegan, false);
    EXPECT_EQ(r.versionAfter, std::nullopt);
  }
};

TEST_F(ApprovedImageTest, AnApprovedImageIsProgrammedAndTheFactsNameWhoAndWhatFor) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Run(std::vector<app::ApprovedImage>{{kOtherSha, "", "", 3}, {FileSha(), "1.30", "VN_Amp", 6}});
  EXPECT_EQ(loader->lastResult(), RESULT_OK);
  EXPECT_FALSE(dev.image().empty());
  ASSERT_EQ(sink->records.size(), 1u);
  EXPECT_EQ(sink->records[0].sha256, FileSha());
  const app::RunFacts& facts = loader->session().lastFacts();
  EXPECT_EQ(facts.operatorName, "Ana");
  EXPECT_EQ(facts.workOrder, "WO-7");
  EXPECT_EQ(facts.profileName, "Line 3");
  EXPECT_EQ(facts.profileSha256, std::string(64, 'c'));
}

TEST_F(ApprovedImageTest, AnImageNotOnTheListIsRefusedBeforeAnythingIsAskedOrErased) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Run(std::vector<app::ApprovedImage>{{kOtherSha, "", "", 3}});
  ExpectRefusedUntouched();
  ASSERT_EQ(view.details.size(), 1u);
  EXPECT_EQ(view.details[0],
            "amp.hex (V1.30, SHA-256 " + FileSha() + ") is not approved by the profile \"Line 3\"");
  // The refused run still names who and what for.
  EXPECT_EQ(loader->session().lastFacts().operatorName, "Ana");
  EXPECT_EQ(loader->session().lastFacts().workOrder, "WO-7");
}

TEST_F(ApprovedImageTest, AnEmptyListApprovesNothing) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Run(std::vector<app::ApprovedImage>{});
  ExpectRefusedUntouched();
}

// Even where the versions would ask first (reload, older): the profile is asked before them.
TEST_F(ApprovedImageTest, TheProfileDecidesBeforeTheReloadQuestion) {
  Firmware("1.30");
  Device("1.30", "1.30");
  view.answers = {true, true};
  Run(std::vector<app::ApprovedImage>{{kOtherSha, "", "", 3}}, kOffline | 4);
  ExpectRefusedUntouched();
}

struct EntryCase {
  const char* name;
  std::string version, product;
  bool approved;
};

class ApprovedEntry : public ApprovedImageTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(ApprovedEntry, LimitsTheApprovalByProductAndVersion) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Run(std::vector<app::ApprovedImage>{{FileSha(), GetParam().version, GetParam().product, 4}});
  if (GetParam().approved) {
    EXPECT_EQ(loader->lastResult(), RESULT_OK);
    EXPECT_FALSE(dev.image().empty());
  } else {
    ExpectRefusedUntouched();
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ApprovedEntry,
                         ::testing::Values(EntryCase{"ShaAlone", "", "", true},
                                           EntryCase{"SameVersionWrittenOtherwise", "1.3", "", true},
                                           EntryCase{"VersionWithItsV", "V1.30", "VN_Amp", true},
                                           EntryCase{"ProductAsTheTableShowsIt", "", "VN Amp", true},
                                           EntryCase{"AnotherProduct", "", "VN_Mixer", false},
                                           EntryCase{"AnotherVersion", "1.40", "", false}),
                         [](const ::testing::TestParamInfo<EntryCase>& p) {
                           return std::string(p.param.name);
                         });

TEST_F(ApprovedImageTest, AVersionTheFileDoesNotHaveIsNamedWithItsLine) {
  Firmware("1.30");
  Device("1.20", "1.30");
  Run(std::vector<app::ApprovedImage>{{FileSha(), "1.40", "", 9}});
  ASSERT_EQ(view.details.size(), 1u);
  EXPECT_EQ(view.details[0],
            "amp.hex (V1.30, SHA-256 " + FileSha() +
                ") is not approved by the profile \"Line 3\": its entry on line 9 states V1.40, "
                "the file is V1.30");
}

TEST_F(ApprovedImageTest, WithoutAListEveryImageGoesAsBefore) {
  Firmware("1.30");
  Device("1.20", "1.30");
  view.answers = {true};
  Run(std::nullopt);
  EXPECT_EQ(loader->lastResult(), RESULT_OK);
  EXPECT_EQ(view.Calls("ask: "), Strings{"ask: Load Hex Now?"});
  EXPECT_TRUE(view.details.empty());
  EXPECT_EQ(loader->session().lastFacts().operatorName, "Ana");
}

TEST(LoadResults, NotApprovedIsARefusalWithItsOwnCodeBesideTheFrontEndsSixteen) {
  const LoadResultInfo* info = FindLoadResult(RESULT_NOT_APPROVED);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->code, 17);
  EXPECT_TRUE(info->refusal);
  EXPECT_FALSE(info->offerRawBoot);
  EXPECT_EQ(FindLoadResult(16), nullptr) << "16 stays the terminal's \"no workflow ran\"";
  EXPECT_EQ(FindLoadResult(RESULT_USER_CANCELLED)->code, RESULT_USER_CANCELLED);
  EXPECT_EQ(FindLoadResult(18), nullptr);
}

}  // namespace
}  // namespace app_tests
