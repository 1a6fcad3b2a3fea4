#pragma once
// A LoaderView that records every call in order and answers message boxes from a script.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "common/loader_view.h"

namespace testing_support {

class RecordingView : public LoaderView {
 public:
  // Every call as one text: "port: ...", "device: ...", "main: ...", "log: ...",
  // "connect: on|off", "rawboot: on|off", "updates: on|off", "ask: ...", "tell: ...",
  // "ports: COM1,COM3 [0]", "transfer: on|off".
  std::vector<std::string> calls;
  std::vector<std::string> log;      // the information log alone
  std::vector<std::string> details;  // detail lines alone (kept out of `calls`)
  std::vector<StreamProgress> progressSeen;
  std::vector<std::pair<int, int>> countdowns;  // seconds left, seconds in all
  std::deque<bool> answers;                     // answers to askYesNo in order; No when empty

  std::string portStatus, deviceStatus, mainStatus;
  bool connectOn = true, rawBootOn = true, updatesOn = true;

  void setPortStatus(const std::string& t) override {
    portStatus = t;
    calls.push_back("port: " + t);
  }
  void setDeviceStatus(const std::string& t) override {
    deviceStatus = t;
    calls.push_back("device: " + t);
  }
  void setMainStatus(const std::string& t) override {
    mainStatus = t;
    calls.push_back("main: " + t);
  }
  void appendLog(const std::string& line) override {
    log.push_back(line);
    calls.push_back("log: " + line);
  }
  void detail(const std::string& text) override { details.push_back(text); }
  void enableConnect(bool on) override {
    connectOn = on;
    calls.push_back(std::string("connect: ") + (on ? "on" : "off"));
  }
  void enableRawBoot(bool on) override {
    rawBootOn = on;
    calls.push_back(std::string("rawboot: ") + (on ? "on" : "off"));
  }
  void enableCheckForUpdates(bool on) override {
    updatesOn = on;
    calls.push_back(std::string("updates: ") + (on ? "on" : "off"));
  }
  bool askYesNo(const std::string& text) override {
    calls.push_back("ask: " + text);
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void tell(const std::string& text) override { calls.push_back("tell: " + text); }
  void showPorts(const std::vector<PortEntry>& ports, int selected) override {
    std::string s = "ports: ";
    for (std::size_t i = 0; i < ports.size(); ++i)
      s += (i ? "," : "") + std::string("COM") + std::to_string(ports[i].number);
    calls.push_back(s + " [" + std::to_string(selected) + "]");
  }
  void progress(const StreamProgress& p) override { progressSeen.push_back(p); }
  void countdown(int left, int total) override { countdowns.emplace_back(left, total); }
  void transferActive(bool a) override { calls.push_back(std::string("transfer: ") + (a ? "on" : "off")); }

  // The calls that start with `prefix`, in order.
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
};

}  // namespace testing_support
