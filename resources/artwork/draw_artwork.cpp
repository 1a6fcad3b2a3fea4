// Draws the loader's own artwork: the application icon at the sizes desktops look for (16 to
// 256 pixels, and as a scalable SVG drawn from the same geometry) and the 115 x 68 logo of the
// main window. Run once by hand when the artwork changes; its files are committed beside it in
// resources/.
//   draw_artwork OUTPUT_DIR

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>
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

// The white V of the mark, in a box of side `s` at the origin.
QPainterPath VShape(double s) {
  QPainterPath v;
  v.moveTo(s * 0.16, s * 0.14);
  v.lineTo(s * 0.34, s * 0.14);
  v.lineTo(s * 0.50, s * 0.58);
  v.lineTo(s * 0.66, s * 0.14);
  v.lineTo(s * 0.84, s * 0.14);
  v.lineTo(s * 0.58, s * 0.72);
  v.lineTo(s * 0.42, s * 0.72);
  v.closeSubpath();
  return v;
}

QRectF WaveBand(double s) {
  return QRectF(s * 0.10, s * 0.74, s * 0.80, s * 0.18);
}

double WaveWidth(double s) {
  return qMax(1.0, s / 14);
}

double WaveCycles(double s) {
  return s < 20 ? 1.5 : 3.0;
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

  p.setBrush(Qt::white);
  p.drawPath(VShape(s).translated(box.topLeft()));

  QPen wave(kAmber, WaveWidth(s));
  wave.setCapStyle(Qt::RoundCap);
  p.setPen(wave);
  p.setBrush(Qt::NoBrush);
  p.drawPath(Waveform(WaveBand(s).translated(box.topLeft()), WaveCycles(s)));
}

QString PathData(const QPainterPath& path) {
  QStringList parts;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    parts << QStringLiteral("%1%2 %3")
                 .arg(e.isMoveTo() ? QLatin1Char('M') : QLatin1Char('L'))
                 .arg(e.x, 0, 'f', 2)
                 .arg(e.y, 0, 'f', 2);
  }
  return parts.join(QLatin1Char(' '));
}

// The same mark as a scalable drawing, for desktops that draw icons at any size.
QString MarkSvg() {
  const double s = 256;
  const QString svg = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n"
      "  <defs>\n"
      "    <linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\">\n"
      "      <stop offset=\"0\" stop-color=\"%1\"/>\n"
      "      <stop offset=\"1\" stop-color=\"%2\"/>\n"
      "    </linearGradient>\n"
      "  </defs>\n"
      "  <rect x=\"0.5\" y=\"0.5\" width=\"255\" height=\"255\" rx=\"%3\" fill=\"url(#tile)\"/>\n"
      "  <path d=\"%4 Z\" fill=\"#ffffff\"/>\n"
      "  <path d=\"%5\" fill=\"none\" stroke=\"%6\" stroke-width=\"%7\" stroke-linecap=\"round\" "
      "stroke-linejoin=\"round\"/>\n"
      "</svg>\n");
  return svg.arg(kBlue.name(), kDeepBlue.name())
      .arg(s * 0.18, 0, 'f', 2)
      .arg(PathData(VShape(s)))
      .arg(PathData(Waveform(WaveBand(s), WaveCycles(s))))
      .arg(kAmber.name())
      .arg(WaveWidth(s), 0, 'f', 2);
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
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    ok = Icon(size).save(dir + QStringLiteral("/icons/vorloader-%1.png").arg(size)) && ok;
  QFile svg(dir + QStringLiteral("/icons/vorloader.svg"));
  ok = svg.open(QIODevice::WriteOnly) && svg.write(MarkSvg().toUtf8()) > 0 && svg.flush() && ok;
  ok = Logo().save(dir + QStringLiteral("/logo.png")) && ok;
  if (!ok) std::fprintf(stderr, "draw_artwork: cannot write into the output folder\n");
  return ok ? 0 : 1;
}
