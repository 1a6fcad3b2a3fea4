// Ports refused for lack of permission are remembered and named in one hint line.

#include "cli/command/permission_hint.h"

#include <gtest/gtest.h>

#include <set>

namespace cli {
namespace {

// Ports in `denied` are refused for lack of permission, all others do not exist.
class RefusingOpener : public platform::PortOpener {
 public:
  explicit RefusingOpener(std::set<int> denied) : m_denied(std::move(denied)) {}
  std::unique_ptr<platform::SerialPort> Open(int number, platform::OpenError& error) override {
    error = m_denied.count(number) ? platform::OpenError::PermissionDenied : platform::OpenError::NotFound;
    return nullptr;
  }
  std::string PathOf(int number) const override { return "/dev/ttyS" + std::to_string(number - 1); }
  PortEntry Describe(int number) const override {
    PortEntry entry(number, PathOf(number));
    entry.serialNumber = "SN" + std::to_string(number);
    return entry;
  }

 private:
  std::set<int> m_denied;
};

TEST(PermissionHint, RemembersEachRefusedPortOnce) {
  RefusingOpener inner({3, 5});
  ObservingPortOpener opener(inner);
  for (int round = 0; round < 2; ++round)
    for (int n = 1; n <= 32; ++n) {
      platform::OpenError error = platform::OpenError::None;
      EXPECT_EQ(opener.Open(n, error), nullptr);
      EXPECT_EQ(error,
                n == 3 || n == 5 ? platform::OpenError::PermissionDenied : platform::OpenError::NotFound);
    }
  EXPECT_EQ(opener.deniedPorts(), (std::vector<int>{3, 5}));
  EXPECT_EQ(opener.PathOf(3), "/dev/ttyS2");

  const std::string hint = PermissionHint(opener, opener.deniedPorts());
  EXPECT_EQ(hint.rfind("vorloader-cli: no permission to open /dev/ttyS2 (COM3) and 1 more port(s); ", 0), 0u)
      << hint;
  EXPECT_NE(hint.find("dialout"), std::string::npos);
  EXPECT_EQ(hint.find('\n'), std::string::npos);
}

// The port list shows what the system knows of each port through the watching opener too.
TEST(PermissionHint, TheWatchingOpenerPassesOnWhatIsKnownOfAPort) {
  RefusingOpener inner({});
  const ObservingPortOpener opener(inner);
  const PortEntry entry = opener.Describe(4);
  EXPECT_EQ(entry.number, 4);
  EXPECT_EQ(entry.path, "/dev/ttyS3");
  EXPECT_EQ(entry.serialNumber, "SN4");
}

TEST(PermissionHint, NothingWhenNoPortWasRefused) {
  RefusingOpener inner({});
  ObservingPortOpener opener(inner);
  platform::OpenError error = platform::OpenError::None;
  EXPECT_EQ(opener.Open(1, error), nullptr);
  EXPECT_TRUE(opener.deniedPorts().empty());
  EXPECT_EQ(PermissionHint(opener, opener.deniedPorts()), "");
}

}  // namespace
}  // namespace cli
