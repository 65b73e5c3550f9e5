// vantrel-make-pictures OUT_MEDIA: draws the program's own pictures into OUT_MEDIA/Images
// (the message and tip icons, PNG) and the skin's bitmap parts into OUT_MEDIA/Skin (the
// masks with rounded and curved outlines and the side strips, grey BMP files in which
// white is inside and black outside). Everything is drawn here; nothing is copied.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>

namespace {

constexpr int kIcon = 48;

QImage Canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A round badge with a vertical light-to-dark fill.
void Badge(QPainter& painter, const QColor& light, const QColor& dark) {
  QLinearGradient fill(0, 2, 0, kIcon - 2);
  fill.setColorAt(0, light);
  fill.setColorAt(1, dark);
  painter.setPen(QPen(dark.darker(140), 2));
  painter.setBrush(fill);
  painter.drawEllipse(QRectF(3, 3, kIcon - 6, kIcon - 6));
  // The glass highlight on the upper half.
  QLinearGradient shine(0, 5, 0, kIcon / 2);
  shine.setColorAt(0, QColor(255, 255, 255, 150));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(shine);
  painter.drawEllipse(QRectF(10, 6, kIcon - 20, kIcon / 2 - 4));
}

QImage Info() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  Badge(painter, QColor(110, 170, 240), QColor(30, 80, 170));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(20.5, 11, 7, 7));
  painter.drawRoundedRect(QRectF(20.5, 21, 7, 17), 2, 2);
  return image;
}

QImage Question() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  Badge(painter, QColor(120, 200, 140), QColor(30, 120, 60));
  painter.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  QPainterPath hook;
  hook.moveTo(17, 18);
  hook.cubicTo(17, 9, 31, 9, 31, 18);
  hook.cubicTo(31, 24, 24, 24, 24, 30);
  painter.drawPath(hook);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(21, 34, 6, 6));
  return image;
}

QImage Error() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  Badge(painter, QColor(245, 120, 100), QColor(160, 30, 20));
  painter.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(17, 17), QPointF(31, 31));
  painter.drawLine(QPointF(31, 17), QPointF(17, 31));
  return image;
}

QImage Folder() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor edge(150, 105, 20);
  QLinearGradient back(0, 8, 0, 40);
  back.setColorAt(0, QColor(240, 200, 100));
  back.setColorAt(1, QColor(210, 150, 40));
  painter.setPen(QPen(edge, 1.5));
  painter.setBrush(back);
  QPainterPath tab;
  tab.moveTo(4, 12);
  tab.lineTo(18, 12);
  tab.lineTo(22, 16);
  tab.lineTo(44, 16);
  tab.lineTo(44, 40);
  tab.lineTo(4, 40);
  tab.closeSubpath();
  painter.drawPath(tab);
  QLinearGradient front(0, 20, 0, 42);
  front.setColorAt(0, QColor(255, 225, 140));
  front.setColorAt(1, QColor(230, 170, 50));
  painter.setBrush(front);
  QPainterPath flap;
  flap.moveTo(8, 21);
  flap.lineTo(46, 21);
  flap.lineTo(42, 41);
  flap.lineTo(4, 41);
  flap.closeSubpath();
  painter.drawPath(flap);
  return image;
}

// A light bulb for the tips.
QImage Tip() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QRadialGradient glow(24, 18, 16);
  glow.setColorAt(0, QColor(255, 250, 200));
  glow.setColorAt(1, QColor(240, 190, 40));
  painter.setPen(QPen(QColor(170, 120, 10), 1.5));
  painter.setBrush(glow);
  painter.drawEllipse(QRectF(10, 4, 28, 28));
  painter.setBrush(QColor(150, 150, 160));
  painter.drawRoundedRect(QRectF(17, 31, 14, 11), 3, 3);
  painter.setPen(QPen(QColor(100, 100, 110), 1.5));
  painter.drawLine(QPointF(17, 35), QPointF(31, 35));
  painter.drawLine(QPointF(17, 38.5), QPointF(31, 38.5));
  return image;
}

// Three stacked cubes: the resources taken out of a movie.
QImage Cubes() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const auto cube = [&painter](qreal x, qreal y, qreal size, const QColor& colour) {
    const qreal depth = size / 3;
    painter.setPen(QPen(colour.darker(170), 1.2));
    QPolygonF top({QPointF(x, y + depth), QPointF(x + depth, y), QPointF(x + size + depth, y),
                   QPointF(x + size, y + depth)});
    painter.setBrush(colour.lighter(140));
    painter.drawPolygon(top);
    QPolygonF side({QPointF(x + size, y + depth), QPointF(x + size + depth, y), QPointF(x + size + depth, y + size),
                    QPointF(x + size, y + size + depth)});
    painter.setBrush(colour.darker(130));
    painter.drawPolygon(side);
    QLinearGradient front(0, y + depth, 0, y + size + depth);
    front.setColorAt(0, colour.lighter(115));
    front.setColorAt(1, colour);
    painter.setBrush(front);
    painter.drawRect(QRectF(x, y + depth, size, size));
  };
  cube(4, 24, 17, QColor(60, 120, 210));
  cube(24, 24, 17, QColor(220, 120, 40));
  cube(14, 5, 17, QColor(70, 170, 80));
  return image;
}

// A framed landscape: pictures and thumbnails.
QImage Picture() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(90, 90, 100), 1.5));
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(3, 8, 42, 33), 2, 2);
  QLinearGradient sky(0, 12, 0, 37);
  sky.setColorAt(0, QColor(110, 170, 240));
  sky.setColorAt(1, QColor(200, 230, 255));
  painter.setPen(Qt::NoPen);
  painter.setBrush(sky);
  painter.drawRect(QRectF(7, 12, 34, 25));
  painter.setBrush(QColor(255, 210, 60));
  painter.drawEllipse(QRectF(30, 15, 7, 7));
  QPainterPath hills;
  hills.moveTo(7, 37);
  hills.lineTo(7, 31);
  hills.lineTo(17, 21);
  hills.lineTo(25, 29);
  hills.lineTo(30, 25);
  hills.lineTo(41, 34);
  hills.lineTo(41, 37);
  hills.closeSubpath();
  painter.setBrush(QColor(60, 150, 70));
  painter.drawPath(hills);
  return image;
}

// A waste bin: deleting files.
QImage Delete() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor edge(80, 85, 95);
  QLinearGradient body(10, 0, 38, 0);
  body.setColorAt(0, QColor(200, 205, 215));
  body.setColorAt(0.5, QColor(245, 247, 250));
  body.setColorAt(1, QColor(170, 175, 185));
  painter.setPen(QPen(edge, 1.5));
  painter.setBrush(body);
  QPainterPath bin;
  bin.moveTo(11, 14);
  bin.lineTo(37, 14);
  bin.lineTo(34, 44);
  bin.lineTo(14, 44);
  bin.closeSubpath();
  painter.drawPath(bin);
  painter.drawRoundedRect(QRectF(8, 9, 32, 5), 2, 2);
  painter.drawRoundedRect(QRectF(19, 5, 10, 4), 1.5, 1.5);
  painter.setPen(QPen(edge, 1.5, Qt::SolidLine, Qt::RoundCap));
  for (const qreal x : {18.5, 24.0, 29.5}) painter.drawLine(QPointF(x, 19), QPointF(x, 39));
  painter.setPen(QPen(QColor(200, 40, 30), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(30, 30), QPointF(42, 42));
  painter.drawLine(QPointF(42, 30), QPointF(30, 42));
  return image;
}

// A round arrow on a badge: checking for updates.
QImage Update() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  Badge(painter, QColor(120, 200, 140), QColor(30, 120, 60));
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawArc(QRectF(14, 14, 20, 20), 100 * 16, 280 * 16);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(20, 8), QPointF(28, 14), QPointF(20, 20)}));
  return image;
}

// A film frame crossed out: no movie to show.
QImage NoMedia() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(60, 60, 70), 1.5));
  painter.setBrush(QColor(90, 95, 110));
  painter.drawRoundedRect(QRectF(6, 6, 36, 36), 3, 3);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(235, 235, 240));
  for (int i = 0; i < 5; ++i) {
    painter.drawRect(QRectF(9, 9 + i * 6.5, 4, 4));
    painter.drawRect(QRectF(35, 9 + i * 6.5, 4, 4));
  }
  painter.setBrush(QColor(170, 180, 200));
  painter.drawRect(QRectF(16, 9, 16, 30));
  painter.setPen(QPen(QColor(210, 40, 30), 4, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QRectF(10, 10, 28, 28));
  painter.drawLine(QPointF(14, 34), QPointF(34, 14));
  return image;
}

// Two chain links: a web address.
QImage Link() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(24, 24);
  painter.rotate(-45);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(30, 80, 170), 5.5));
  painter.drawRoundedRect(QRectF(-19, -6, 22, 12), 6, 6);
  painter.setPen(QPen(QColor(90, 150, 230), 5.5));
  painter.drawRoundedRect(QRectF(-3, -6, 22, 12), 6, 6);
  return image;
}

// A disk with an arrow into it: a file was written.
QImage SaveDisk() {
  QImage image = Canvas(kIcon, kIcon);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient body(0, 6, 0, 42);
  body.setColorAt(0, QColor(80, 120, 200));
  body.setColorAt(1, QColor(30, 60, 130));
  painter.setPen(QPen(QColor(20, 40, 90), 1.5));
  painter.setBrush(body);
  QPainterPath disk;
  disk.moveTo(6, 8);
  disk.lineTo(36, 8);
  disk.lineTo(42, 14);
  disk.lineTo(42, 42);
  disk.lineTo(6, 42);
  disk.closeSubpath();
  painter.drawPath(disk);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(235, 238, 245));
  painter.drawRect(QRectF(12, 26, 24, 16));
  painter.setBrush(QColor(190, 200, 215));
  painter.drawRect(QRectF(13, 8, 20, 11));
  painter.setBrush(QColor(40, 70, 140));
  painter.drawRect(QRectF(27, 10, 4, 7));
  return image;
}

// The soft shadow some dialogs put under their picture.
QImage Shadow() {
  QImage image = Canvas(64, 24);
  QPainter painter(&image);
  QRadialGradient dark(32, 12, 30);
  dark.setColorAt(0, QColor(0, 0, 0, 90));
  dark.setColorAt(1, QColor(0, 0, 0, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(dark);
  painter.scale(1, 0.4);
  painter.drawEllipse(QRectF(2, 0, 60, 60));
  return image;
}

// A grey mask: white inside a rounded rectangle of the given size and corner radius.
QImage RoundMask(int width, int height, qreal radius) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), radius, radius);
  return image;
}

// A grey shading part: the light of a convex button, bright at the top edge, a dark
// rim at the bottom. Mid grey (128) leaves a colour as it is.
QImage Curve(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(QColor(128, 128, 128));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient light(0, 0, 0, size);
  light.setColorAt(0, QColor(235, 235, 235));
  light.setColorAt(0.48, QColor(160, 160, 160));
  light.setColorAt(0.52, QColor(120, 120, 120));
  light.setColorAt(1, QColor(70, 70, 70));
  painter.setPen(Qt::NoPen);
  painter.setBrush(light);
  painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
  return image;
}

// The side panel's ends: a strip of 34 pixels whose outer corners curve inwards.
QImage SideEnd(bool top) {
  QImage image(34, 40, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  QPainterPath path;
  if (top) {
    path.moveTo(0, 40);
    path.lineTo(0, 14);
    path.cubicTo(0, 4, 10, 0, 20, 0);
    path.lineTo(34, 0);
    path.lineTo(34, 40);
  } else {
    path.moveTo(0, 0);
    path.lineTo(34, 0);
    path.lineTo(34, 40);
    path.lineTo(20, 40);
    path.cubicTo(10, 40, 0, 36, 0, 26);
  }
  path.closeSubpath();
  painter.drawPath(path);
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path)) return true;
  std::fprintf(stderr, "vantrel-make-pictures: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel-make-pictures OUT_MEDIA\n");
    return 2;
  }
  const QDir media(QString::fromLocal8Bit(argv[1]));
  if (!media.mkpath(QStringLiteral("Images")) || !media.mkpath(QStringLiteral("Skin"))) {
    std::fprintf(stderr, "vantrel-make-pictures: cannot create the folders in %s\n", argv[1]);
    return 1;
  }
  const QString images = media.filePath(QStringLiteral("Images")) + QLatin1Char('/');
  const QString skin = media.filePath(QStringLiteral("Skin")) + QLatin1Char('/');
  bool ok = true;
  ok = Save(Info(), images + QStringLiteral("info.png")) && ok;
  ok = Save(Question(), images + QStringLiteral("question.png")) && ok;
  ok = Save(Error(), images + QStringLiteral("error.png")) && ok;
  ok = Save(Folder(), images + QStringLiteral("folder.png")) && ok;
  ok = Save(Tip(), images + QStringLiteral("tip.png")) && ok;
  ok = Save(Shadow(), images + QStringLiteral("shadow.png")) && ok;
  ok = Save(Cubes(), images + QStringLiteral("cubes.png")) && ok;
  ok = Save(Picture(), images + QStringLiteral("image.png")) && ok;
  ok = Save(Delete(), images + QStringLiteral("delete.png")) && ok;
  ok = Save(Update(), images + QStringLiteral("update.png")) && ok;
  ok = Save(NoMedia(), images + QStringLiteral("nomedia.png")) && ok;
  ok = Save(Link(), images + QStringLiteral("link.png")) && ok;
  ok = Save(SaveDisk(), images + QStringLiteral("save.png")) && ok;
  // Tips without a picture of their own show the skin's bulb.
  ok = Save(Tip(), skin + QStringLiteral("tip.png")) && ok;
  ok = Save(RoundMask(40, 40, 20), skin + QStringLiteral("round40.bmp")) && ok;
  ok = Save(RoundMask(38, 38, 19), skin + QStringLiteral("round38.bmp")) && ok;
  ok = Save(RoundMask(26, 26, 13), skin + QStringLiteral("round26.bmp")) && ok;
  ok = Save(RoundMask(24, 24, 12), skin + QStringLiteral("round24.bmp")) && ok;
  ok = Save(Curve(40), skin + QStringLiteral("curve40.bmp")) && ok;
  ok = Save(Curve(26), skin + QStringLiteral("curve26.bmp")) && ok;
  ok = Save(SideEnd(true), skin + QStringLiteral("sidetop.bmp")) && ok;
  ok = Save(SideEnd(false), skin + QStringLiteral("sidebot.bmp")) && ok;
  return ok ? 0 : 1;
}
