#pragma once
// A one-line label of fixed width (the status lines). A text longer than the label is drawn
// with its middle left out ("Device: VORnet Amp…Version: V1.80"), never cut at both ends as
// a centred label would; the whole text is then the label's tooltip. text() always returns
// the whole text.

#include <QLabel>

namespace window {

class ElidingLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

  // Sets the whole text; use this instead of setText() so the tooltip follows.
  void ShowText(const QString& text);
  // What the label draws now: the text, or the text with its middle elided.
  QString shownText() const;
  bool elided() const { return shownText() != text(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateToolTip();
};

}  // namespace window
