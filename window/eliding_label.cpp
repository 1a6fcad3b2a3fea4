#include "window/eliding_label.h"

#include <QPainter>
#include <QStyle>

namespace window {

void ElidingLabel::ShowText(const QString& text) {
  setText(text);
  UpdateToolTip();
}

QString ElidingLabel::shownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ElidingLabel::UpdateToolTip() {
  setToolTip(elided() ? text() : QString());
}

void ElidingLabel::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter painter(this);
  drawFrame(&painter);
  style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(),
                        shownText(), foregroundRole());
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip();
}

}  // namespace window
