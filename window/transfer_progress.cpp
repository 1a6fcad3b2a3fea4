#include "window/transfer_progress.h"

#include <QProgressBar>
#include <algorithm>
#include <cmath>
#include <optional>

#include "common/time_left.h"

namespace window {

namespace {

// Thousandths, so a long image moves the bar smoothly.
constexpr int kSteps = 1000;

}  // namespace

TransferProgress::TransferProgress(QProgressBar& bar) : m_bar(bar) {
  m_bar.setTextVisible(true);
  m_bar.setAlignment(Qt::AlignCenter);
  m_bar.hide();
}

QString TransferProgress::TimeLeft(const StreamProgress& progress, qint64 elapsedMs) {
  const std::optional<double> left =
      EstimateTimeLeft(progress, 0, static_cast<double>(std::max<qint64>(elapsedMs, 0)) / 1000.0).seconds;
  if (!left) return {};
  return QString::fromStdString(TimeLeftText(left));
}

void TransferProgress::Show(const QString& text) {
  m_bar.setFormat(text);
  m_bar.setToolTip(text);
  m_bar.show();
}

void TransferProgress::Hide() {
  m_bar.hide();
  m_bar.reset();
  m_bar.setToolTip({});
}

void TransferProgress::OnTransfer(bool active) {
  m_transfer = active;
  m_streamClock.invalidate();
  if (!active) {
    Hide();
    return;
  }
  // Busy until the first chunk: the erase has no measure of its own.
  m_bar.setRange(0, 0);
  Show(QStringLiteral("Erasing"));
}

void TransferProgress::OnProgress(const StreamProgress& progress) {
  if (progress.total == 0) return;
  if (!m_streamClock.isValid()) m_streamClock.start();
  const double share = EstimateTimeLeft(progress).share;
  m_bar.setRange(0, kSteps);
  m_bar.setValue(static_cast<int>(std::lround(share * kSteps)));
  QString text = QStringLiteral("%1%").arg(static_cast<int>(std::floor(share * 100.0)));
  const QString left = TimeLeft(progress, m_streamClock.elapsed());
  if (!left.isEmpty() && BytesOnLine(progress) < progress.total) text += QStringLiteral(", ") + left;
  Show(text);
}

void TransferProgress::OnCountdown(int secondsLeft, int secondsTotal) {
  if (secondsLeft <= 0 || secondsTotal <= 0) {
    if (!m_transfer) Hide();
    return;
  }
  m_bar.setRange(0, secondsTotal);
  m_bar.setValue(std::min(secondsLeft, secondsTotal));
  Show(QStringLiteral("%1 s left").arg(secondsLeft));
}

}  // namespace window
