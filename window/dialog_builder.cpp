#include "window/dialog_builder.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <vector>

#include "window/eliding_label.h"
#include "window/window_resources.h"

namespace window {

namespace {

QString Text(const ControlTemplate& c) {
  return QString::fromUtf8(c.text.data(), static_cast<qsizetype>(c.text.size()));
}

QWidget* MakeLabel(const ControlTemplate& c, QWidget* parent) {
  // A vertically centred static is one line: a longer text loses its middle, not its ends.
  QLabel* label =
      ((c.style & kStyleVCenter) != 0) ? new ElidingLabel(Text(c), parent) : new QLabel(Text(c), parent);
  label->setTextFormat(Qt::PlainText);
  Qt::Alignment align = ((c.style & kStyleCenter) != 0) ? Qt::AlignHCenter : Qt::AlignLeft;
  // A vertically centred static is one line; any other static wraps its words.
  if ((c.style & kStyleVCenter) != 0) {
    align |= Qt::AlignVCenter;
  } else {
    align |= Qt::AlignTop;
    label->setWordWrap(true);
  }
  label->setAlignment(align);
  if ((c.style & kStyleSunken) != 0) {
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
  }
  return label;
}

QWidget* MakeEdit(const ControlTemplate& c, QWidget* parent) {
  if ((c.style & kStyleMultiLine) == 0) {
    auto* line = new QLineEdit(parent);
    line->setReadOnly((c.style & kStyleReadOnly) != 0);
    line->setFrame((c.style & kStyleBorder) != 0);
    return line;
  }
  // A rich-text edit that takes only plain text: its paragraphs can have a hanging indent.
  auto* edit = new QTextEdit(parent);
  edit->setAcceptRichText(false);
  edit->setReadOnly((c.style & kStyleReadOnly) != 0);
  edit->setTabChangesFocus(true);
  edit->setLineWrapMode(QTextEdit::WidgetWidth);
  edit->setVerticalScrollBarPolicy(((c.style & kStyleVScroll) != 0) ? Qt::ScrollBarAlwaysOn
                                                                    : Qt::ScrollBarAsNeeded);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if ((c.style & kStyleBorder) == 0) edit->setFrameStyle(QFrame::NoFrame);
  return edit;
}

QWidget* MakeImage(const ControlTemplate& c, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setPixmap(ImageResource(Text(c).toInt()));
  return label;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
  switch (c.kind) {
    case ControlKind::Button: {
      auto* button = new QPushButton(Text(c), parent);
      button->setAutoDefault(true);
      button->setDefault((c.style & kStyleDefault) != 0);
      return button;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable((c.style & kStyleDropDownList) == 0);
      return combo;
    }
    case ControlKind::Edit:
      return MakeEdit(c, parent);
    case ControlKind::Label:
      return MakeLabel(c, parent);
    case ControlKind::GroupBox:
      return new QGroupBox(Text(c), parent);
    case ControlKind::Frame: {
      auto* frame = new QFrame(parent);
      frame->setFrameStyle(((c.style & kStyleEtched) != 0) ? (QFrame::Box | QFrame::Sunken) : QFrame::Box);
      return frame;
    }
    case ControlKind::Bitmap:
    case ControlKind::Icon:
      return MakeImage(c, parent);
  }
  return nullptr;
}

// The size the platform gives a control whatever its template says: a drop-down list's
// closed height follows its font (the template's height includes the open list), and an
// image control takes the size of its image.
QRect PlaceControl(QWidget& w, const ControlTemplate& c, QRect rect) {
  if (c.kind == ControlKind::ComboBox) rect.setHeight(w.sizeHint().height());
  if (c.kind == ControlKind::Bitmap || c.kind == ControlKind::Icon) {
    const auto* label = static_cast<QLabel*>(&w);
    const QPixmap pixmap = label->pixmap();
    if (!pixmap.isNull()) rect.setSize(pixmap.deviceIndependentSize().toSize());
  }
  return rect;
}

bool IsDecoration(ControlKind k) {
  return k == ControlKind::GroupBox || k == ControlKind::Frame;
}

}  // namespace

QFont DialogFont(const DialogTemplate& t) {
  const QString face = QString::fromStdString(t.fontFace);
  QFont font = face == QLatin1String("MS Shell Dlg") ? QApplication::font() : QFont(face);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(t.fontPoints);
  return font;
}

BuiltDialog BuildDialog(QDialog& dialog, const DialogTemplate& t) {
  BuiltDialog built;
  dialog.setWindowTitle(QString::fromStdString(t.caption));
  dialog.setFont(DialogFont(t));
  built.units = BaseUnitsOf(dialog.font());
  const QRect client = DialogUnitsToPixels(DuRect{0, 0, t.width, t.height}, built.units);
  if (t.frame == FrameStyle::Sizable)
    dialog.resize(client.size());
  else
    dialog.setFixedSize(client.size());

  std::vector<QWidget*> focusChain;
  for (const ControlTemplate& c : t.controls) {
    QWidget* w = MakeControl(c, &dialog);
    if (w == nullptr) continue;
    if (c.id != kNoControlId) {
      w->setObjectName(QString::number(c.id));
      w->setProperty("controlId", c.id);
      built.controls[c.id] = w;
    }
    w->setGeometry(PlaceControl(*w, c, DialogUnitsToPixels(c.rect, built.units)));
    if (IsDecoration(c.kind)) {
      // Frames and group boxes only draw around their neighbours: keep them underneath and
      // let the mouse through to what they frame.
      w->setAttribute(Qt::WA_TransparentForMouseEvents);
      w->lower();
    }
    if (w->focusPolicy() != Qt::NoFocus) focusChain.push_back(w);
  }
  for (std::size_t i = 1; i < focusChain.size(); ++i) QWidget::setTabOrder(focusChain[i - 1], focusChain[i]);
  return built;
}

}  // namespace window
