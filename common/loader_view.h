#pragma once
// How workflows talk to a person. The window, the terminal front end and the tests each
// implement it; the workflows and the device and catalogue steps call nothing else to report.
//
// Texts are byte strings: what comes from devices and catalogue files is one byte to one
// character (Latin-1), and front ends convert only at their edge.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/port_entry.h"

// An image stream so far (see common/time_left.h for the share and time left it gives).
struct StreamProgress {
  StreamProgress(std::size_t sent_ = 0, std::size_t total_ = 0, double percent_ = 0.0,
                 std::optional<std::size_t> onLine_ = std::nullopt, int lineRate_ = 0)
      : sent(sent_), total(total_), percent(percent_), onLine(onLine_), lineRate(lineRate_) {}

  std::size_t sent = 0;   // bytes handed to the port
  std::size_t total = 0;  // bytes in the stream
  double percent = 0.0;   // of `sent`, as the status line says it
  // Bytes that have left on the line (sent minus what the port still holds); none when the
  // port cannot tell.
  std::optional<std::size_t> onLine;
  int lineRate = 0;  // the line rate in bits per second; 0 when unknown
};

// Every call but appendLog has a default that shows nothing (and answers No): a front end
// overrides what it shows; the window's station panels, for one, have no status lines or
// buttons.
class LoaderView {
 public:
  virtual ~LoaderView() = default;

  // The three status lines.
  virtual void setPortStatus(const std::string& text) { (void)text; }
  virtual void setDeviceStatus(const std::string& text) { (void)text; }
  virtual void setMainStatus(const std::string& text) { (void)text; }

  // One information-log line (without its line end). Every view decides what becomes of the
  // log, even if that is nothing.
  virtual void appendLog(const std::string& line) = 0;

  // The three buttons.
  virtual void enableConnect(bool on) { (void)on; }
  virtual void enableRawBoot(bool on) { (void)on; }
  virtual void enableCheckForUpdates(bool on) { (void)on; }

  // Why something failed: the URL and cause of a failed download, why a file or a port was
  // refused. It follows the fixed line it explains and never replaces it; the window shows it
  // as an indented log line, the terminal as "note: TEXT" on standard error.
  virtual void detail(const std::string& text) { (void)text; }

  // Message boxes: Yes/No with a question icon and Yes the default; OK with an information icon.
  // A view that shows no boxes answers No: nothing goes ahead that nobody agreed to.
  virtual bool askYesNo(const std::string& text) {
    (void)text;
    return false;
  }
  virtual void tell(const std::string& text) { (void)text; }
  // A Yes/No box whose fixed question comes with what it is about (the device, the versions,
  // the port, the file): the window shows that as the box's informative text, the terminal
  // as notes before the question. Views that show nothing more simply ask.
  virtual bool confirm(const std::string& text, const std::string& informative) {
    (void)informative;
    return askYesNo(text);
  }

  // The port list changed (after enumeration, or when another entry answered).
  virtual void showPorts(const std::vector<PortEntry>& ports, int selected) { (void)ports, (void)selected; }

  // Image stream progress, after every chunk.
  virtual void progress(const StreamProgress& p) { (void)p; }

  // A wait with a known end that is not a stream (the raw-boot wait for the bootloader's
  // banner): called about once a second with the seconds left, and once with 0 at its end.
  virtual void countdown(int secondsLeft, int secondsTotal) { (void)secondsLeft, (void)secondsTotal; }

  // True while the device is being erased or programmed: stopping now may leave it
  // needing a raw boot, so front ends ask before they stop.
  virtual void transferActive(bool active) { (void)active; }
};
