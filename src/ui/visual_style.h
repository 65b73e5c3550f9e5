// The program's look for its dialogs: a light band at the top, the chosen style's
// gradient below it, a separator line that fades out towards the edges, and controls
// whose backgrounds blend into the gradient. Every dialog applies it through SetVisual.
#pragma once

#include <QColor>
#include <QDialog>
#include <QRect>

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

// A dialog that paints the program's look behind its controls. SetVisual sets the band
// (and with it the separator) and repaints; the style comes from the presentation.
class StyledDialog : public QDialog {
  Q_OBJECT

 public:
  explicit StyledDialog(QWidget* parent = nullptr);

  // Applies the current style with the band ending bandHeight pixels from the top
  // (0: no band, no separator).
  void SetVisual(int bandHeight);
  int BandHeight() const { return bandHeight_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int bandHeight_ = 0;
};

}  // namespace vantrel::ui
