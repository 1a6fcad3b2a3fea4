#include "window/transfer_progress.h"

#include <QProgressBar>
#include <algorithm>
#include <cmath>

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

QString TransferProgress::TimeLeft(std::size_t sent, std::size_t total, qint64 elapsedMs) {
  if (sent == 0 || total < sent || elapsedMs <= 0) return {};
  const double ms =
      static_cast<double>(elapsedMs) * static_cast<double>(total - sent) / static_cast<double>(sent);
  const auto seconds = static_cast<long long>(std::ceil(ms / 1000.0));
  return QStringLiteral("%1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
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
  const double share = std::clamp(progress.percent, 0.0, 100.0) / 100.0;
  m_bar.setRange(0, kSteps);
  m_bar.setValue(static_cast<int>(std::lround(share * kSteps)));
  QString text = QStringLiteral("%1%").arg(static_cast<int>(std::floor(progress.percent)));
  const QString left = TimeLeft(progress.sent, progress.total, m_streamClock.elapsed());
  if (!left.isEmpty() && progress.sent < progress.total) text += QStringLiteral(", ") + left;
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
