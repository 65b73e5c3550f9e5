#include "ui/visual_style.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QPalette>
#include <algorithm>
#include <cmath>

#include "ui/message_window.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {

// Round half to even, as the colour maths of the dialogs do.
int RoundEven(double value) { return static_cast<int>(std::nearbyint(value)); }

QColor Face() { return QPalette().color(QPalette::Button); }
QColor Shadow() { return QPalette().color(QPalette::Dark); }
QColor Light() { return QPalette().color(QPalette::Light); }

}  // namespace

VisualStyle StyleFromNumber(int number) {
  if (number < 0 || number > 2) return VisualStyle::SmoothGradients;
  return static_cast<VisualStyle>(number);
}

QColor MixColour(const QColor& a, const QColor& b, int k) {
  k = std::clamp(k, 0, 255);
  const auto mix = [k](int x, int y) { return RoundEven(x * k / 255.0 + y * (255 - k) / 255.0); };
  return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

void GradientRect(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to, bool vertical) {
  if (rect.isEmpty()) return;
  if (from == to) {
    painter.fillRect(rect, from);
    return;
  }
  QLinearGradient gradient(rect.topLeft(), vertical ? QPointF(rect.left(), rect.bottom() + 1)
                                                    : QPointF(rect.right() + 1, rect.top()));
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  painter.fillRect(rect, gradient);
}

int GlassMiddle(int first, int last) { return RoundEven(last - (last - first) / 2.0); }

void StyleGradient(QPainter& painter, const QRect& rect, const QColor& c, bool vertical, VisualStyle style) {
  const QColor light = Light();
  switch (style) {
    case VisualStyle::SimplyFlat: GradientRect(painter, rect, c, c, vertical); return;
    case VisualStyle::SmoothGradients: GradientRect(painter, rect, MixColour(c, light, 96), c, vertical); return;
    case VisualStyle::GlassyLook: break;
  }
  // Edges as exclusive coordinates, so that a rectangle 0..101 splits at 50.
  const int first = vertical ? rect.top() : rect.left();
  const int last = vertical ? rect.top() + rect.height() : rect.left() + rect.width();
  const int middle = GlassMiddle(first, last);
  const QRect firstHalf = vertical ? QRect(rect.left(), first, rect.width(), middle - first)
                                   : QRect(first, rect.top(), middle - first, rect.height());
  const QRect secondHalf = vertical ? QRect(rect.left(), middle, rect.width(), last - middle)
                                    : QRect(middle, rect.top(), last - middle, rect.height());
  GradientRect(painter, firstHalf, MixColour(c, light, 96), MixColour(c, light, 192), vertical);
  GradientRect(painter, secondHalf, c, MixColour(c, light, 128), vertical);
}

void PaintBackground(QPainter& painter, const QSize& size, int bandHeight, VisualStyle style) {
  const QRect whole(QPoint(0, 0), size);
  if (style == VisualStyle::SimplyFlat) {
    painter.fillRect(whole, Face());
    return;
  }
  const bool band = bandHeight >= 1;
  const int top = band ? bandHeight : size.height();
  GradientRect(painter, QRect(0, 0, size.width(), top), Light(), MixColour(Face(), Shadow(), 192), true);
  if (band) {
    StyleGradient(painter, QRect(0, bandHeight, size.width(), size.height() - bandHeight),
                  MixColour(Face(), Shadow(), 160), true, style);
  }
}

void PaintSeparator(QPainter& painter, int width, int y, VisualStyle style) {
  if (style == VisualStyle::SimplyFlat) {
    painter.setPen(Shadow());
    painter.drawLine(6, y, width - 8, y);
    painter.setPen(Light());
    painter.drawLine(6, y + 1, width - 8, y + 1);
    return;
  }
  // Both lines fade out towards the edges, starting from the colour under them.
  const QColor under = MixColour(Face(), Shadow(), 160);
  const int half = width / 2;
  GradientRect(painter, QRect(0, y, half, 1), under, Shadow(), false);
  GradientRect(painter, QRect(half, y, width - half, 1), Shadow(), under, false);
  GradientRect(painter, QRect(0, y + 1, half, 1), under, Light(), false);
  GradientRect(painter, QRect(half, y + 1, width - half, 1), Light(), under, false);
}

void PaintShadow(QPainter& painter, QPoint at) {
  const QImage shadow = LoadPicture("shadow");
  if (shadow.isNull()) return;
  painter.drawImage(at - QPoint(8, 4), shadow);
}

StyledDialog::StyledDialog(QWidget* parent) : QDialog(parent) {}

void StyledDialog::SetVisual(int bandHeight) {
  bandHeight_ = bandHeight;
  bandEnd_ = nullptr;
  update();
}

void StyledDialog::SetVisual(QWidget* buttonRow) {
  bandEnd_ = buttonRow;
  update();
}

int StyledDialog::BandHeight() const {
  if (!bandEnd_) return bandHeight_;
  // The row's top in window coordinates, less half the usual spacing, so the separator
  // runs between the content and the buttons.
  const int top = bandEnd_->mapTo(this, QPoint(0, 0)).y();
  return std::max(1, top - 8);
}

void StyledDialog::SetShadow(QPoint at) {
  shadow_ = at;
  update();
}

void StyledDialog::SetShadow(QWidget* picture) {
  shadowUnder_ = picture;
  update();
}

void StyledDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const VisualStyle style = StyleFromNumber(CurrentPresentation().style);
  const int band = BandHeight();
  PaintBackground(painter, size(), band, style);
  if (band > 0) PaintSeparator(painter, width(), band, style);
  if (shadow_.x() >= 0) PaintShadow(painter, shadow_);
  if (shadowUnder_ && shadowUnder_->isVisible()) {
    // Under the picture a label shows, where its alignment puts it; an empty label
    // casts none.
    QRect picture(shadowUnder_->mapTo(this, QPoint(0, 0)), shadowUnder_->size());
    if (const auto* label = qobject_cast<const QLabel*>(shadowUnder_.data())) {
      const QPixmap pixmap = label->pixmap();
      picture = pixmap.isNull() ? QRect()
                                : QStyle::alignedRect(label->layoutDirection(), label->alignment(), pixmap.size(),
                                                      label->contentsRect().translated(picture.topLeft()));
    }
    const QImage shadow = LoadPicture("shadow");
    if (!shadow.isNull() && !picture.isEmpty())
      painter.drawImage(QRect(picture.left() - 8, picture.bottom() - 8, picture.width() + 16, shadow.height()), shadow);
  }
}

StyledPanel::StyledPanel(QWidget* parent) : QWidget(parent) {}

void StyledPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const VisualStyle style = StyleFromNumber(CurrentPresentation().style);
  StyleGradient(painter, rect(), MixColour(Face(), Shadow(), 160), true, style);
  PaintSeparator(painter, width(), 0, style);
}

}  // namespace vantrel::ui
