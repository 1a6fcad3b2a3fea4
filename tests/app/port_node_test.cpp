// What a station sees of a port's path between polls: there or not, and where a link leads.

#include "app/station/port_node.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/fixtures/temp_dir.h"

namespace {

TEST(PortNode, TellsAnAdapterPulledOutOrAnotherInItsPlace) {
  testing_support::TempDir dir("vornet-port-node");
  const std::string port = dir.path + "/COM1";
  const app::PortNode absent = app::NodeAt(port);
  EXPECT_FALSE(absent.present);

  std::ofstream(dir.path + "/pts1").put('\n');
  std::ofstream(dir.path + "/pts2").put('\n');
  std::filesystem::create_symlink(dir.path + "/pts1", port);
  const app::PortNode first = app::NodeAt(port);
  EXPECT_TRUE(first.present);
  EXPECT_NE(first, absent);
  EXPECT_EQ(app::NodeAt(port), first) << "the same node, looked at again";

  std::filesystem::remove(port);
  std::filesystem::create_symlink(dir.path + "/pts2", port);
  EXPECT_NE(app::NodeAt(port), first) << "another adapter under the same name";

  // A link whose node is gone is no port.
  std::filesystem::remove(dir.path + "/pts2");
  EXPECT_EQ(app::NodeAt(port), absent);
}

}  // namespace
