#pragma once
// A LoaderView that passes every call on to another view; a subclass overrides the calls it
// wants to watch and passes them on itself.

#include <string>
#include <vector>

#include "common/loader_view.h"

namespace app {

class ForwardingView : public LoaderView {
 public:
  explicit ForwardingView(LoaderView& next) : m_next(next) {}

  void setPortStatus(const std::string& text) override { m_next.setPortStatus(text); }
  void setDeviceStatus(const std::string& text) override { m_next.setDeviceStatus(text); }
  void setMainStatus(const std::string& text) override { m_next.setMainStatus(text); }
  void appendLog(const std::string& line) override { m_next.appendLog(line); }
  void enableConnect(bool on) override { m_next.enableConnect(on); }
  void enableRawBoot(bool on) override { m_next.enableRawBoot(on); }
  void enableCheckForUpdates(bool on) override { m_next.enableCheckForUpdates(on); }
  void detail(const std::string& text) override { m_next.detail(text); }
  bool askYesNo(const std::string& text) override { return m_next.askYesNo(text); }
  void tell(const std::string& text) override { m_next.tell(text); }
  bool confirm(const std::string& text, const std::string& informative) override {
    return m_next.confirm(text, informative);
  }
  void showPorts(const std::vector<PortEntry>& ports, int selected) override {
    m_next.showPorts(ports, selected);
  }
  void progress(const StreamProgress& p) override { m_next.progress(p); }
  void countdown(int secondsLeft, int secondsTotal) override { m_next.countdown(secondsLeft, secondsTotal); }
  void transferActive(bool active) override { m_next.transferActive(active); }

 protected:
  LoaderView& m_next;
};

}  // namespace app
