#include "ui/movie_view.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "ui/movie_engine.h"

namespace vantrel::ui {

MovieView::MovieView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("View"));
  // The engine paints every pixel; Qt need not clear the area first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(16, 16);
  setMouseTracking(true);  // movies see the pointer move without a button held
}

void MovieView::SetEngine(MovieEngine* engine) {
  engine_ = engine;
  if (engine_) engine_->AttachView(this);
  if (engine_) engine_->SetViewSize(size());
  update();
}

void MovieView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!engine_) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  engine_->Paint(painter, size());
}

void MovieView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (engine_) engine_->SetViewSize(size());
}

void MovieView::contextMenuEvent(QContextMenuEvent* event) {
  if (onContextMenu) onContextMenu(event->globalPos());
  event->accept();
}

namespace {

int MovieButton(Qt::MouseButton button) {
  if (button == Qt::RightButton) return 1;
  if (button == Qt::MiddleButton) return 2;
  return 0;
}

}  // namespace

void MovieView::AfterInput() {
  setCursor(engine_->Cursor());
  update();
}

void MovieView::mouseMoveEvent(QMouseEvent* event) {
  if (!engine_) return QWidget::mouseMoveEvent(event);
  engine_->MouseMove(event->position());
  AfterInput();
}

void MovieView::mousePressEvent(QMouseEvent* event) {
  // The right button opens the player's menu; movies get the others.
  if (!engine_ || event->button() == Qt::RightButton) return QWidget::mousePressEvent(event);
  engine_->MouseButton(true, event->position(), MovieButton(event->button()));
  AfterInput();
}

void MovieView::mouseReleaseEvent(QMouseEvent* event) {
  if (!engine_ || event->button() == Qt::RightButton) return QWidget::mouseReleaseEvent(event);
  engine_->MouseButton(false, event->position(), MovieButton(event->button()));
  AfterInput();
}

void MovieView::wheelEvent(QWheelEvent* event) {
  if (!engine_) return QWidget::wheelEvent(event);
  const int lines = event->angleDelta().y() / 40;  // 120 per notch, three lines each
  if (lines != 0) engine_->MouseWheel(lines);
  AfterInput();
}

void MovieView::keyPressEvent(QKeyEvent* event) {
  // The player's own hot keys are shortcuts and never arrive here.
  if (onPlayerKey && onPlayerKey(event)) return event->accept();
  if (!engine_) return QWidget::keyPressEvent(event);
  engine_->Key(true, event->key(), event->text());
  AfterInput();
}

void MovieView::keyReleaseEvent(QKeyEvent* event) {
  if (!engine_ || event->isAutoRepeat()) return QWidget::keyReleaseEvent(event);
  engine_->Key(false, event->key(), event->text());
  AfterInput();
}

bool MovieView::focusNextPrevChild(bool) {
  // Tab belongs to the movie while the movie area has the focus.
  return false;
}

}  // namespace vantrel::ui
