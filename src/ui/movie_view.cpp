#include "ui/movie_view.h"

#include <QContextMenuEvent>
#include <QPainter>

#include "ui/movie_engine.h"

namespace vantrel::ui {

MovieView::MovieView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("View"));
  // The engine paints every pixel; Qt need not clear the area first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(16, 16);
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

}  // namespace vantrel::ui
