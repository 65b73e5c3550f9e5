// The program's look for its dialogs: a light band at the top, the chosen style's
// gradient below it, a separator line that fades out towards the edges, and controls
// whose backgrounds blend into the gradient. Every dialog applies it through SetVisual.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QPainter;

namespace vantrel::ui {

// The three looks a user can choose ("Window"/"Style").
enum class VisualStyle : int { SimplyFlat = 0, SmoothGradients = 1, GlassyLook = 2 };

// The style as stored: values outside 0..2 give the default, Smooth Gradients.
VisualStyle StyleFromNumber(int number);

// a x k / 255 + b x (255 - k) / 255 per channel, halves rounded to even: k = 255 gives
// a, k = 0 gives b.
QColor MixColour(const QColor& a, const QColor& b, int k);

// A two-colour gradient over rect: top to bottom when vertical, else left to right.
void GradientRect(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to, bool vertical);

// The style's fill of rect in colour c: flat, a soft gradient from a lighter c, or the
// glass look (a light first half and a sharp step at the middle).
void StyleGradient(QPainter& painter, const QRect& rect, const QColor& c, bool vertical, VisualStyle style);

// Where the glass look splits rect: bottom - height / 2 (or right - width / 2), rounded
// with halves to even (0..101 splits at 50).
int GlassMiddle(int first, int last);

// The background of a window of width x height with a band of bandHeight pixels at the
// top (0: no band).
void PaintBackground(QPainter& painter, const QSize& size, int bandHeight, VisualStyle style);

// The two separator lines at rows y and y + 1 of a window width pixels wide.
void PaintSeparator(QPainter& painter, int width, int y, VisualStyle style);

// The soft "shadow" picture of the images folder with its centre line at (x, y): drawn
// at (x - 8, y - 4). Nothing is drawn when the picture does not read.
void PaintShadow(QPainter& painter, QPoint at);

// A dialog that paints the program's look behind its controls. SetVisual sets the band
// (and with it the separator) and repaints; the style comes from the presentation.
class StyledDialog : public QDialog {
  Q_OBJECT

 public:
  explicit StyledDialog(QWidget* parent = nullptr);

  // Applies the current style with the band ending bandHeight pixels from the top
  // (0: no band, no separator).
  void SetVisual(int bandHeight);
  // Applies the current style with the band ending just above buttonRow (a widget of
  // the window's button row), wherever the layout puts it.
  void SetVisual(QWidget* buttonRow);
  // The band's height as last painted.
  int BandHeight() const;
  // The shadow under the window's picture, centred on at (window coordinates).
  void SetShadow(QPoint at);
  // The shadow under picture (a child of the window), as wide as the picture.
  void SetShadow(QWidget* picture);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int bandHeight_ = 0;
  QPointer<QWidget> bandEnd_;
  QPoint shadow_{-1, -1};
  QPointer<QWidget> shadowUnder_;
};

// A panel inside a window (the thumbnail progress strip of the media browser) painted
// in the style: the style's gradient with the separator along its top edge.
class StyledPanel : public QWidget {
  Q_OBJECT

 public:
  explicit StyledPanel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vantrel::ui
