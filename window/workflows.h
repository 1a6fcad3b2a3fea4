#pragma once
// What the window runs on its workflow thread. The program hands it the loader
// (loader_workflows.h); the window's tests hand it scripted stand-ins.

namespace window {

class Workflows {
 public:
  virtual ~Workflows() = default;
  // The port entry the user selected, told before every workflow.
  virtual void SelectPort(int index) = 0;
  virtual void RunStartupSequence() = 0;
  virtual void OnConnect() = 0;
  virtual void OnRawBoot() = 0;
  virtual void CheckForUpdates() = 0;
  // The window is closing: the running workflow ends at its next step. From the window's thread.
  virtual void RequestStop() {}
};

}  // namespace window
