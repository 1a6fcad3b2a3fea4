#include "common/loader_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A view that keeps the log and nothing else, as a front end without status lines, buttons or
// boxes writes it.
struct LogOnlyView final : LoaderView {
  std::vector<std::string> lines;
  void appendLog(const std::string& line) override { lines.push_back(line); }
};

TEST(LoaderViewTest, AViewThatKeepsTheLogAloneShowsNothingElseAndAnswersNo) {
  LogOnlyView kept;
  LoaderView& view = kept;
  view.setPortStatus("COM1");
  view.setDeviceStatus("VN-16 found");
  view.setMainStatus("Programming");
  view.enableConnect(false);
  view.enableRawBoot(false);
  view.enableCheckForUpdates(false);
  view.detail("the server answered 404");
  view.tell("Done");
  view.showPorts({}, -1);
  view.progress(StreamProgress(10, 100, 10.0));
  view.countdown(3, 5);
  view.transferActive(true);
  view.appendLog("Erasing flash");

  // Nobody saw the question: nothing goes ahead.
  EXPECT_FALSE(view.askYesNo("Program the device?"));
  EXPECT_FALSE(view.confirm("Program the device?", "VN-16 on COM1"));
  EXPECT_EQ(kept.lines, std::vector<std::string>{"Erasing flash"});
}

}  // namespace
