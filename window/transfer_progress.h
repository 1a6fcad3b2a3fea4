#pragma once
// The progress bar under the main status line. It shows only while something with an end is
// under way: busy while the device erases its flash, the share of the image sent and the time
// left while it streams, and the seconds left while the raw boot waits for the bootloader's
// banner. Otherwise it is hidden. The status lines keep their own texts.

#include <QElapsedTimer>
#include <QString>

#include "common/loader_view.h"

class QProgressBar;

namespace window {

class TransferProgress {
 public:
  explicit TransferProgress(QProgressBar& bar);

  void OnTransfer(bool active);
  void OnProgress(const StreamProgress& progress);
  void OnCountdown(int secondsLeft, int secondsTotal);

  // "0:42 left" for the stream so far (common/time_left.h), `elapsedMs` after its first
  // chunk. Empty until the rate is known.
  static QString TimeLeft(const StreamProgress& progress, qint64 elapsedMs);

 private:
  void Show(const QString& text);
  void Hide();

  QProgressBar& m_bar;
  bool m_transfer = false;
  QElapsedTimer m_streamClock;  // from the first chunk of the stream
};

}  // namespace window
