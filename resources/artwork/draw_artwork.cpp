// Draws the loader's own artwork: the application icon (16, 32 and 48 pixels) and the
// 115 x 68 logo of the main window. Run once by hand when the artwork changes; its PNGs are
// committed beside it in resources/.
//   draw_artwork OUTPUT_DIR

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QtMath>
#include <cstdio>

namespace {

const QColor kDeepBlue(22, 52, 102);
const QColor kBlue(46, 112, 186);
const QColor kAmber(255, 183, 48);

// A sine burst that fades at both ends: the "signal" under the V.
QPainterPath Waveform(const QRectF& box, double cycles) {
  QPainterPath path;
  const int steps = 96;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const double envelope = qSin(t * M_PI);
    const double y = box.center().y() - envelope * qSin(t * cycles * 2 * M_PI) * box.height() / 2;
    const QPointF p(box.left() + t * box.width(), y);
    if (i == 0)
      path.moveTo(p);
    else
      path.lineTo(p);
  }
  return path;
}

// The mark: a rounded blue tile with a white V standing on an amber waveform.
void DrawMark(QPainter& p, const QRectF& box) {
  const double s = box.width();
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(box.topLeft(), box.bottomRight());
  fill.setColorAt(0, kBlue);
  fill.setColorAt(1, kDeepBlue);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), s * 0.18, s * 0.18);

  QPainterPath v;
  v.moveTo(box.left() + s * 0.16, box.top() + s * 0.14);
  v.lineTo(box.left() + s * 0.34, box.top() + s * 0.14);
  v.lineTo(box.left() + s * 0.50, box.top() + s * 0.58);
  v.lineTo(box.left() + s * 0.66, box.top() + s * 0.14);
  v.lineTo(box.left() + s * 0.84, box.top() + s * 0.14);
  v.lineTo(box.left() + s * 0.58, box.top() + s * 0.72);
  v.lineTo(box.left() + s * 0.42, box.top() + s * 0.72);
  v.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(v);

  const QRectF band(box.left() + s * 0.10, box.top() + s * 0.74, s * 0.80, s * 0.18);
  QPen wave(kAmber, qMax(1.0, s / 14));
  wave.setCapStyle(Qt::RoundCap);
  p.setPen(wave);
  p.setBrush(Qt::NoBrush);
  p.drawPath(Waveform(band, s < 20 ? 1.5 : 3.0));
}

QImage Icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  DrawMark(p, QRectF(0, 0, size, size));
  return image;
}

QImage Logo() {
  QImage image(115, 68, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  DrawMark(p, QRectF(2, 4, 40, 40));

  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(19);
  font.setBold(true);
  p.setFont(font);
  p.setPen(kDeepBlue);
  p.drawText(QRectF(46, 6, 69, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VOR"));
  font.setBold(false);
  font.setPixelSize(15);
  p.setFont(font);
  p.setPen(kBlue);
  p.drawText(QRectF(46, 26, 69, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("net"));

  QPen wave(kAmber, 2.0);
  wave.setCapStyle(Qt::RoundCap);
  p.setPen(wave);
  p.drawPath(Waveform(QRectF(4, 50, 107, 14), 5.0));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_artwork OUTPUT_DIR\n");
    return 64;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  for (int size : {16, 32, 48})
    ok = Icon(size).save(dir + QStringLiteral("/icons/vorloader-%1.png").arg(size)) && ok;
  ok = Logo().save(dir + QStringLiteral("/logo.png")) && ok;
  if (!ok) std::fprintf(stderr, "draw_artwork: cannot write into the output folder\n");
  return ok ? 0 : 1;
}
