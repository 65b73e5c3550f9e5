// The movie area `View`: paints the engine's current frame and reports right clicks.
#pragma once

#include <QWidget>
#include <functional>

namespace vantrel::ui {

class MovieEngine;

class MovieView : public QWidget {
  Q_OBJECT

 public:
  explicit MovieView(QWidget* parent = nullptr);

  // The engine whose frames the view shows; null shows the plain background.
  void SetEngine(MovieEngine* engine);

  std::function<void(QPoint globalPos)> onContextMenu;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  MovieEngine* engine_ = nullptr;
};

}  // namespace vantrel::ui
