// What `ports` shows beside its COMn lines, which lines -q keeps, and --port given as a path.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/command/command_result.h"
#include "cli/command/port_argument.h"
#include "cli/output/port_table.h"
#include "common/load_result.h"
#include "tests/support/fixtures/temp_dir.h"

namespace cli {
namespace {

using Lines = std::vector<std::string>;

TEST(PortTable, AlignsWhatIsKnownAndDashesWhatIsNot) {
  PortEntry usb(9, "/dev/ttyUSB0");
  usb.vendorId = 0x0403;
  usb.productId = 0x6001;
  usb.manufacturer = "FTDI";
  usb.product = "FT232R USB UART";
  usb.serialNumber = "A50285BI";
  const PortEntry plain(12, "/dev/ttyS3");
  EXPECT_EQ(PortTableLines({usb, plain}),
            (Lines{"PORT   DEVICE        USB ID     MANUFACTURER  PRODUCT          SERIAL",
                   "COM9   /dev/ttyUSB0  0403:6001  FTDI          FT232R USB UART  A50285BI",
                   "COM12  /dev/ttyS3    -          -             -                -"}));
  EXPECT_TRUE(PortTableLines({}).empty());
}

TEST(QuietOutput, KeepsOnlyTheResultFromWhatTheCommandReturned) {
  const auto withStatus = [](int status) {
    CommandResult r;
    r.status = status;
    return r;
  };
  EXPECT_EQ(QuietResultLines(Command::Connect, withStatus(9)), (Lines{"E09-Device has latest Version."}));
  EXPECT_EQ(QuietResultLines(Command::RawBoot, withStatus(0)), (Lines{"   -Device Programed OK."}));
  // No workflow ran, or it was stopped: there is no result line to show.
  EXPECT_TRUE(QuietResultLines(Command::Connect, withStatus(kExitNoWorkflow)).empty());
  // The station profile's refusal is a result too, beyond the front end's 16.
  EXPECT_EQ(QuietResultLines(Command::Connect, withStatus(RESULT_NOT_APPROVED)),
            (Lines{"E17-Image not approved by the profile."}));
  EXPECT_TRUE(QuietResultLines(Command::Connect, withStatus(kExitUsage)).empty());
  EXPECT_TRUE(QuietResultLines(Command::Connect, withStatus(143)).empty());
  CommandResult check = withStatus(1);
  check.fileCheck = {"Warning 1 Missing Files.", "Missing->amp.hex."};
  EXPECT_EQ(QuietResultLines(Command::Check, check), check.fileCheck);
  check.status = kExitNoWorkflow;
  EXPECT_TRUE(QuietResultLines(Command::Check, check).empty());
  CommandResult ports;
  ports.ports = {PortEntry(2, "/dev/a"), PortEntry(5, "/dev/b")};
  EXPECT_EQ(QuietResultLines(Command::Ports, ports), (Lines{"COM2", "COM5"}));
  EXPECT_TRUE(QuietResultLines(Command::Ports, withStatus(0)).empty());
}

// A folder of COMn links like VORLOADER_COM_DIR, and a by-id style link to one of its targets.
class PortPath : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = m_temp.path;
    std::ofstream(m_dir / "deviceA") << "";
    std::ofstream(m_dir / "deviceB") << "";
    std::filesystem::create_symlink(m_dir / "deviceA", m_dir / "COM1");
    std::filesystem::create_symlink(m_dir / "deviceB", m_dir / "COM4");
    std::filesystem::create_directory(m_dir / "by-id");
    std::filesystem::create_symlink("../deviceB", m_dir / "by-id" / "usb-Maker_Adapter_B-if00-port0");
    m_listed = {PortEntry(1, (m_dir / "COM1").string()), PortEntry(4, (m_dir / "COM4").string())};
  }
  testing_support::TempDir m_temp{"vor-port-path"};
  std::filesystem::path m_dir;
  std::vector<PortEntry> m_listed;
};

TEST_F(PortPath, FindsTheListedPortBehindAnyLink) {
  EXPECT_EQ(ListedPortOfPath((m_dir / "deviceA").string(), m_listed), 1);
  EXPECT_EQ(ListedPortOfPath((m_dir / "by-id" / "usb-Maker_Adapter_B-if00-port0").string(), m_listed), 4);
  EXPECT_EQ(ListedPortOfPath((m_dir / "by-id" / ".." / "COM4").string(), m_listed), 4);
  EXPECT_EQ(ListedPortOfPath((m_dir / "COM1").string(), m_listed), 1);
}

TEST_F(PortPath, AnUnlistedPathIsNoPort) {
  std::ofstream(m_dir / "deviceC") << "";
  EXPECT_EQ(ListedPortOfPath((m_dir / "deviceC").string(), m_listed), 0);
  EXPECT_EQ(ListedPortOfPath((m_dir / "missing").string(), m_listed), 0);
  EXPECT_EQ(ListedPortOfPath("", m_listed), 0);
  EXPECT_EQ(ListedPortOfPath((m_dir / "deviceA").string(), {}), 0);
  EXPECT_EQ(UnlistedPathMessage("/dev/ttyUSB7", m_listed),
            "vorloader-cli: --port /dev/ttyUSB7 is not among the ports listed (COM1 " +
                (m_dir / "COM1").string() + ", COM4 " + (m_dir / "COM4").string() + ")");
  EXPECT_EQ(UnlistedPathMessage("/dev/ttyUSB7", {}),
            "vorloader-cli: --port /dev/ttyUSB7 is not among the ports listed (none)");
}

// Device nodes made in two places (a container's /dev beside the host's) share no path.
TEST(PortPathDevice, TheSameDeviceNodeUnderAnotherNameIsTheSamePort) {
  if (::access("/dev/null", F_OK) != 0 || ::access("/dev/zero", F_OK) != 0) GTEST_SKIP() << "no /dev";
  const std::vector<PortEntry> listed = {PortEntry(2, "/dev/zero"), PortEntry(3, "/dev/null")};
  EXPECT_EQ(ListedPortOfPath("/dev/null", listed), 3);
  EXPECT_EQ(ListedPortOfPath("/dev/full", listed), 0);
}

}  // namespace
}  // namespace cli
