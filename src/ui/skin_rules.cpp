#include "ui/skin_rules.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "core/options.h"
#include "ui/visual_style.h"

namespace vantrel::ui {

namespace {

// The colour of the holes the generated pictures leave around their shapes.
const QColor kMaskColour(255, 0, 255);

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

QRegion ScanRuns(const QImage& image, const QColor& colour, bool wantEqual) {
  QRegion result;
  if (image.isNull()) return result;
  const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
  const QRgb key = colour.rgb() | 0xFF000000u;
  for (int y = 0; y < pixels.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
    int x = 0;
    while (x < pixels.width()) {
      if (((row[x] | 0xFF000000u) == key) != wantEqual) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < pixels.width() && ((row[x] | 0xFF000000u) == key) == wantEqual) ++x;
      result += QRect(start, y, x - start, 1);
    }
  }
  return result;
}

// ---- Drawing the generated pictures ---------------------------------------------------

QImage LoadPart(const std::string& skinPath, const char* name) {
  return QImage(QString::fromStdString(skinPath + name)).convertToFormat(QImage::Format_RGB32);
}

// Lays the mask's white inside over the picture and the mask colour outside; grey edge
// pixels count as inside when at least half white.
void ApplyMask(QImage& picture, const QImage& mask) {
  const QImage scaled = mask.scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  for (int y = 0; y < picture.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    const auto* inside = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      if (qGray(inside[x]) < 128) row[x] = kMaskColour.rgb();
    }
  }
}

// Shades the picture with a curve part: grey 128 leaves a pixel, lighter greys lighten
// it, darker greys darken it (the mask colour stays).
void ApplyCurve(QImage& picture, const QImage& curve, double strength) {
  const QImage scaled = curve.scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  for (int y = 0; y < picture.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    const auto* shade = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      if ((row[x] | 0xFF000000u) == (kMaskColour.rgb() | 0xFF000000u)) continue;
      const double delta = (qGray(shade[x]) - 128) / 128.0 * strength;
      const auto channel = [delta](int value) {
        const double target = delta > 0 ? 255 : 0;
        return static_cast<int>(std::lround(value + (target - value) * std::abs(delta)));
      };
      row[x] = qRgb(channel(qRed(row[x])), channel(qGreen(row[x])), channel(qBlue(row[x])));
    }
  }
}

QImage Filled(QSize size, const QColor& from, const QColor& to, bool vertical) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  GradientRect(painter, image.rect(), from, to, vertical);
  return image;
}

// The glyph of a button, drawn in colour into a box of side size.
void DrawGlyph(QPainter& painter, const std::string& name, int size, const QColor& colour) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(colour, std::max(1.5, size / 12.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(colour);
  const double s = size;
  const auto triangle = [&](double left, double right, double top, double bottom) {
    QPainterPath path;
    path.moveTo(left, top);
    path.lineTo(right, (top + bottom) / 2);
    path.lineTo(left, bottom);
    path.closeSubpath();
    painter.drawPath(path);
  };
  if (name == "play" || name == "fsplay") {
    triangle(s * 0.38, s * 0.72, s * 0.28, s * 0.72);
  } else if (name == "pause" || name == "fspause") {
    painter.drawRect(QRectF(s * 0.33, s * 0.3, s * 0.1, s * 0.4));
    painter.drawRect(QRectF(s * 0.57, s * 0.3, s * 0.1, s * 0.4));
  } else if (name == "next") {
    triangle(s * 0.3, s * 0.62, s * 0.3, s * 0.7);
    painter.drawLine(QPointF(s * 0.7, s * 0.3), QPointF(s * 0.7, s * 0.7));
  } else if (name == "prev") {
    triangle(s * 0.7, s * 0.38, s * 0.3, s * 0.7);
    painter.drawLine(QPointF(s * 0.3, s * 0.3), QPointF(s * 0.3, s * 0.7));
  } else if (name == "back" || name == "forward") {
    // The browser's history: an arrow with a shaft.
    const double tip = name == "back" ? 0.28 : 0.72;
    triangle(s * 0.5, s * tip, s * 0.32, s * 0.68);
    painter.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * (1.0 - tip), s * 0.5));
  } else if (name == "up" || name == "moveup") {
    QPainterPath path;
    path.moveTo(s * 0.5, s * 0.28);
    path.lineTo(s * 0.72, s * 0.62);
    path.lineTo(s * 0.28, s * 0.62);
    path.closeSubpath();
    painter.drawPath(path);
  } else if (name == "movedown") {
    QPainterPath path;
    path.moveTo(s * 0.5, s * 0.72);
    path.lineTo(s * 0.72, s * 0.38);
    path.lineTo(s * 0.28, s * 0.38);
    path.closeSubpath();
    painter.drawPath(path);
  } else if (name == "browse") {
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
      painter.drawRect(QRectF(s * (0.28 + 0.25 * (i % 2)), s * (0.28 + 0.25 * (i / 2)), s * 0.18, s * 0.18));
    }
  } else if (name == "mute" || name == "sound") {
    QPainterPath speaker;
    speaker.moveTo(s * 0.25, s * 0.42);
    speaker.lineTo(s * 0.38, s * 0.42);
    speaker.lineTo(s * 0.55, s * 0.27);
    speaker.lineTo(s * 0.55, s * 0.73);
    speaker.lineTo(s * 0.38, s * 0.58);
    speaker.lineTo(s * 0.25, s * 0.58);
    speaker.closeSubpath();
    painter.drawPath(speaker);
    painter.setBrush(Qt::NoBrush);
    if (name == "mute") {
      painter.drawLine(QPointF(s * 0.64, s * 0.4), QPointF(s * 0.8, s * 0.6));
      painter.drawLine(QPointF(s * 0.8, s * 0.4), QPointF(s * 0.64, s * 0.6));
    } else {
      painter.drawArc(QRectF(s * 0.45, s * 0.35, s * 0.3, s * 0.3), -60 * 16, 120 * 16);
    }
  } else if (name == "fs") {
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(s * 0.27, s * 0.3, s * 0.46, s * 0.4));
  } else if (name == "pl") {
    for (int i = 0; i < 3; ++i) painter.drawLine(QPointF(s * 0.28, s * (0.35 + 0.15 * i)), QPointF(s * 0.72, s * (0.35 + 0.15 * i)));
  } else if (name == "open") {
    painter.setBrush(Qt::NoBrush);
    QPainterPath folder;
    folder.moveTo(s * 0.25, s * 0.7);
    folder.lineTo(s * 0.25, s * 0.3);
    folder.lineTo(s * 0.42, s * 0.3);
    folder.lineTo(s * 0.48, s * 0.37);
    folder.lineTo(s * 0.75, s * 0.37);
    folder.lineTo(s * 0.75, s * 0.7);
    folder.closeSubpath();
    painter.drawPath(folder);
  } else if (name == "add" || name == "remove") {
    painter.drawLine(QPointF(s * 0.3, s * 0.5), QPointF(s * 0.7, s * 0.5));
    if (name == "add") painter.drawLine(QPointF(s * 0.5, s * 0.3), QPointF(s * 0.5, s * 0.7));
  } else if (name == "tip") {
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(s * 0.35, s * 0.25, s * 0.3, s * 0.3));
    painter.drawLine(QPointF(s * 0.45, s * 0.68), QPointF(s * 0.55, s * 0.68));
  }
}

class Writer {
 public:
  Writer(const std::string& userSkinPath, const ThemeColours& colours) : root_(userSkinPath), c_(colours) {}

  bool Save(const QImage& image, const std::string& folder, const std::string& name) {
    if (image.isNull()) return false;
    const bool ok = image.save(QString::fromStdString(root_ + folder + "/" + name + ".bmp"), "BMP");
    written_ += ok ? 1 : 0;
    return ok;
  }

  // One button in its four states: a face gradient per state, the mask's outline, the
  // curve's shading and the glyph.
  void Button(const std::string& name, int size, const QImage& mask, const QImage& curve) {
    if (mask.isNull()) return;
    struct State {
      const char* folder;
      QColor top, bottom, glyph;
      double shading;
    };
    const State states[] = {
        {"up", MixColour(c_.face, c_.highlight, 140), c_.face, c_.shadow.darker(160), 0.55},
        {"over", MixColour(c_.face, c_.highlight, 90), MixColour(c_.face, c_.selection, 200), c_.shadow.darker(200), 0.7},
        {"down", c_.shadow, MixColour(c_.face, c_.shadow, 120), c_.highlight, 0.35},
        {"disabled", MixColour(c_.face, c_.highlight, 110), MixColour(c_.face, c_.highlight, 180),
         MixColour(c_.face, c_.shadow, 150), 0.2},
    };
    for (const State& state : states) {
      QImage picture = Filled(QSize(size, size), state.top, state.bottom, true);
      {
        QPainter painter(&picture);
        DrawGlyph(painter, name, size, state.glyph);
      }
      if (!curve.isNull()) ApplyCurve(picture, curve, state.shading * 0.5);
      ApplyMask(picture, mask);
      Save(picture, state.folder, name);
    }
  }

  int Written() const { return written_; }
  const ThemeColours& Colours() const { return c_; }

 private:
  std::string root_;
  ThemeColours c_;
  int written_ = 0;
};

}  // namespace

QColor ParseSkinColour(const std::string& text) {
  std::string digits;
  for (const char c : text)
    if (c != '#') digits += c;
  digits.resize(6, ' ');
  // Red first in the file; read as a hexadecimal number after reordering to blue,
  // green, red, as the colour values of the program are kept.
  const std::string reordered = digits.substr(4, 2) + digits.substr(2, 2) + digits.substr(0, 2);
  std::uint32_t value = 0;
  for (const char c : reordered) {
    const int digit = HexValue(c);
    if (digit < 0) break;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF), static_cast<int>((value >> 16) & 0xFF));
}

QRegion RegionExceptColour(const QImage& image, const QColor& colour) { return ScanRuns(image, colour, false); }
QRegion RegionFromColour(const QImage& image, const QColor& colour) { return ScanRuns(image, colour, true); }

QRegion ComposeWindowRegion(const QSize& client, const std::vector<WindowHole>& holes, bool hideUI, bool menuBar) {
  if (hideUI || menuBar || holes.empty()) return {};
  QRegion result(QRect(QPoint(0, 0), client));
  for (const WindowHole& hole : holes) result = result.xored(hole.region.translated(hole.offset));
  return result;
}

namespace {
// Relative luminance as the contrast ratio of readable text counts it.
double Luminance(const QColor& colour) {
  const auto channel = [](double value) {
    value /= 255.0;
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) + 0.0722 * channel(colour.blue());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
}  // namespace

QColor ReadableTextColour(const QColor& wanted, const QColor& background) {
  if (Contrast(wanted, background) >= 4.5) return wanted;
  const QColor black(0, 0, 0), white(255, 255, 255);
  return Contrast(black, background) >= Contrast(white, background) ? black : white;
}

int FadeAlpha(int position, int steps, int step) {
  if (steps <= 0) return 255;
  const double rising = position * 255.0 / steps;
  return static_cast<int>(std::nearbyint(step > 0 ? rising : 255.0 - rising));
}

ThemeColours ReadThemeColours(int skinColor) {
  if (skinColor == 1) return {QColor(0x99, 0x99, 0x99), QColor(0x33, 0x33, 0x33), QColor(0xFF, 0xFF, 0xFF), QColor(0, 0, 0)};
  const QPalette palette = QGuiApplication::palette();
  return {palette.color(QPalette::Button), palette.color(QPalette::Dark), palette.color(QPalette::Light),
          palette.color(QPalette::Highlight)};
}

std::int32_t ThemeNumber() {
  const QPalette palette = QGuiApplication::palette();
  std::uint32_t sum = 0;
  for (int role = 0; role < QPalette::NColorRoles; ++role) {
    if (role == QPalette::NoRole) continue;
    sum += palette.color(QPalette::Active, static_cast<QPalette::ColorRole>(role)).rgb() & 0xFFFFFFu;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  sum += 2u * static_cast<std::uint32_t>(screen ? screen->depth() : 24);
  return static_cast<std::int32_t>(sum & 0x7FFFFFFFu);
}

int BuildGeneratedSkin(const std::string& skinPath, const std::string& userSkinPath, core::OptionsStore& options,
                       std::int32_t themeNumber) {
  if (options.ReadNumber("View", "ThemeHash", -1) == themeNumber) return 0;
  options.WriteNumber("View", "ThemeHash", themeNumber);
  QDir root(QString::fromStdString(userSkinPath));
  for (const char* folder : {"up", "over", "down", "disabled", "base"}) root.mkpath(QString::fromLatin1(folder));

  Writer writer(userSkinPath, ReadThemeColours(options.ReadNumberOption("Window", "SkinColor")));
  const ThemeColours& c = writer.Colours();
  const QImage round40 = LoadPart(skinPath, "round40.bmp");
  const QImage round38 = LoadPart(skinPath, "round38.bmp");
  const QImage round26 = LoadPart(skinPath, "round26.bmp");
  const QImage round24 = LoadPart(skinPath, "round24.bmp");
  const QImage curve40 = LoadPart(skinPath, "curve40.bmp");
  const QImage curve26 = LoadPart(skinPath, "curve26.bmp");
  const QImage sideTop = LoadPart(skinPath, "sidetop.bmp");
  const QImage sideBottom = LoadPart(skinPath, "sidebot.bmp");

  // The control bar: its two lower corners take round40's curve, the mask colour
  // outside them becomes the window's outline.
  if (!round40.isNull()) {
    QImage bar = Filled(QSize(370, 52), MixColour(c.face, c.highlight, 150), c.shadow, true);
    QImage corners(370, 52, QImage::Format_RGB32);
    corners.fill(Qt::white);
    {
      QPainter painter(&corners);
      const QImage half = round40.copy(0, 20, 40, 20);
      painter.drawImage(QRect(0, 32, 20, 20), half.copy(0, 0, 20, 20));
      painter.drawImage(QRect(350, 32, 20, 20), half.copy(20, 0, 20, 20));
    }
    ApplyMask(bar, corners);
    writer.Save(bar.copy(0, 0, 24, 52), "base", "left");
    writer.Save(bar.copy(24, 0, 322, 52), "base", "mid");
    writer.Save(bar.copy(346, 0, 24, 52), "base", "right");
  }
  for (const char* name : {"play", "pause", "up", "browse"}) writer.Button(name, 38, round38, curve40);
  for (const char* name : {"prev", "next", "back", "forward"}) writer.Button(name, 24, round24, curve26);
  // The side panel: its ends curve inwards.
  if (!sideTop.isNull() && !sideBottom.isNull()) {
    QImage side = Filled(QSize(34, 300), c.face, c.shadow, false);
    QImage shape(34, 300, QImage::Format_RGB32);
    shape.fill(Qt::white);
    {
      QPainter painter(&shape);
      painter.drawImage(0, 0, sideTop);
      painter.drawImage(0, 300 - sideBottom.height(), sideBottom);
    }
    ApplyMask(side, shape);
    writer.Save(side.copy(0, 0, 34, 40), "base", "top");
    writer.Save(side.copy(0, 40, 34, 220), "base", "side");
    writer.Save(side.copy(0, 260, 34, 40), "base", "bot");
  }
  for (const char* name : {"pl", "mute", "sound", "open", "fs"}) writer.Button(name, 24, round24, curve26);
  // The volume control and its knob.
  writer.Save(Filled(QSize(64, 8), c.shadow, c.highlight, false), "base", "volume2");
  if (!round24.isNull()) {
    for (const char* folder : {"up", "over", "disabled"}) {
      QImage knob = Filled(QSize(12, 12), c.highlight, std::string(folder) == "over" ? c.selection : c.face, true);
      ApplyMask(knob, round24);
      writer.Save(knob, folder, "volume");
    }
  }
  // The playlist bar and its buttons.
  if (!round26.isNull()) {
    QImage playlist = Filled(QSize(214, 34), c.highlight, c.face, true);
    QImage shape(214, 34, QImage::Format_RGB32);
    shape.fill(Qt::white);
    {
      QPainter painter(&shape);
      painter.drawImage(QRect(0, 0, 13, 34), round26.copy(0, 0, 13, 26).scaled(13, 34));
      painter.drawImage(QRect(201, 0, 13, 34), round26.copy(13, 0, 13, 26).scaled(13, 34));
    }
    ApplyMask(playlist, shape);
    writer.Save(playlist, "base", "playlist");
  }
  for (const char* name : {"add", "remove", "moveup", "movedown", "tip"}) writer.Button(name, 24, round24, curve26);
  // The full-screen bar's own play and pause, small enough for the playlist bar's base.
  for (const char* name : {"fsplay", "fspause"}) writer.Button(name, 24, round24, curve26);
  // The inset field (the time display) and the convex field.
  writer.Save(Filled(QSize(100, 22), MixColour(c.face, c.shadow, 120), MixColour(c.face, c.highlight, 160), true), "up",
              "inset");
  if (!round26.isNull()) {
    QImage convex = Filled(QSize(100, 22), c.highlight, c.face, true);
    writer.Save(convex, "up", "convex");
    writer.Save(Filled(QSize(100, 22), c.highlight, MixColour(c.face, c.selection, 200), true), "over", "convex");
    writer.Save(Filled(QSize(100, 22), c.highlight, MixColour(c.face, c.highlight, 128), true), "disabled", "convex");
  }
  return writer.Written();
}

}  // namespace vantrel::ui
